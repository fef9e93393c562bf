// search_index.mjs - builds the guide's search index when the site is
// written (guide_pages.py calls it):
//
//   node search_index.mjs OUT.js < DOCUMENTS.json
//
// DOCUMENTS are the guide's sections, {id, title, page, url, text}.  OUT.js
// sets guideSearch to MiniSearch's index of them with the options it was
// built with, which web/site/guide.js loads them back with.
import { readFileSync, writeFileSync } from "node:fs";
import MiniSearch from "minisearch";

const options = { fields: ["title", "text"], storeFields: ["title", "page", "url"] };
const search = new MiniSearch(options);
search.addAll(JSON.parse(readFileSync(0, "utf8")));
writeFileSync(process.argv[2],
              `var guideSearch = ${JSON.stringify({ options, index: search.toJSON() })};\n`);

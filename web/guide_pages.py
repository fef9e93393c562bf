#!/usr/bin/env python3
"""The guide as pages of the site, and as one printable PDF.

    guide_pages.py pdf REPO OUT.pdf [SITE_ADDRESS]

writes the guide (docs/lessons.md) and the teacher's page
(docs/teaching.md) as one PDF with Chromium's print-to-PDF: every picture,
every exercise's solution opened, and its patch printed in full.
make_site.py calls write_site_guide() for the site's copy of the same
pages.  Both come from the same Markdown, rendered the same way:

  - the <details> of a solution hold Markdown too, and are rendered;
  - each pixel a claim quotes (<!-- pixel PICTURE X,Y = R,G,B -->,
    <!-- pixels PICTURE X,Y = G G ... -->) is shown where the claim stands,
    as a magnified crop of its picture with the pixel outlined: an overlay
    drawn over the picture, which stays untouched;
  - links to the sources lead to their pages in the site, links to the
    other pages of the guide to those pages, links to files of docs/
    (pictures, patches) to copies of them.
"""
import html
import json
import pathlib
import posixpath
import re
import shutil
import subprocess
import sys
import tempfile
import urllib.parse

import markdown

import references
from skeleton import page

# (Markdown file in docs/, page name, title): the lessons first, so that
# the printed copy reads in that order.
PAGES = [("lessons.md", "lessons", "The lessons: a guide"),
         ("teaching.md", "teaching", "Teaching with the lessons")]
# The site shows the notes on performance too, as the guide's last page.
SITE_PAGES = PAGES + [("performance.md", "performance", "Performance and memory")]
# The screenshots' size, and the square a pixel is shown in: the pixel
# with 20 of its neighbours on every side, drawn 3 times as large.
PICTURE_SIZE = 500
MARK_SPAN = 41
MARK_SCALE = 3

CLAIM = re.compile(r"<!-- (pixels?) ([^ ]+) (\d+),(\d+) = ([0-9, ]+) -->")


def fail(message):
    sys.exit("guide_pages.py: " + message)


def mark(kind, picture, x, y, value):
    """A crop of PICTURE around the claimed pixel(s), outlined."""
    width = len(value.split()) if kind == "pixels" else 1
    span = max(MARK_SPAN, width + MARK_SPAN - 1)
    left = min(max(x - (MARK_SPAN - 1) // 2, 0), PICTURE_SIZE - span)
    top = min(max(y - (MARK_SPAN - 1) // 2, 0), PICTURE_SIZE - MARK_SPAN)
    what = (f"the green values {value}" if kind == "pixels"
            else "(" + value.replace(",", ", ") + ")")
    where = f"({x}, {y})" + (f" and the {width - 1} to its right" if width > 1 else "")
    label = f"{where} in {picture}: {what}"
    return (f'<figure class="mark"><svg viewBox="{left} {top} {span} {MARK_SPAN}" '
            f'width="{span * MARK_SCALE}" height="{MARK_SPAN * MARK_SCALE}" role="img" '
            f'aria-label="{html.escape(label)}">'
            f'<image href="{html.escape(picture)}" width="{PICTURE_SIZE}" height="{PICTURE_SIZE}"/>'
            f'<rect x="{x - 0.5}" y="{y - 0.5}" width="{width + 1}" height="2"/>'
            f'<rect class="ring" x="{x - 4}" y="{y - 3.5}" width="{width + 8}" height="9" '
            f'rx="4"/></svg>'
            f"<figcaption>{html.escape(label)}</figcaption></figure>")


def with_marks(text):
    """The Markdown with each run of pixel claims followed by their marks."""
    out, run = [], []
    for line in text.splitlines():
        claim = CLAIM.fullmatch(line)
        if claim:
            kind, picture, x, y, value = claim.groups()
            run.append(mark(kind, picture, int(x), int(y), value))
        elif run and line.strip():
            out += ['<div class="marks">', *run, "</div>", ""]
            run = []
        out.append(line)
    if run:
        out += ['<div class="marks">', *run, "</div>"]
    return "\n".join(out) + "\n"


def with_line_links(repo, text):
    """The Markdown with each reference to lines of a source a link to
    them, and each quoted block headed by a link to where it stands: both
    computed from the quoted text, so that they follow the code."""
    def read(name):
        return (repo / name).read_text()
    for found in reversed(references.references(text, read)):
        first, last = found["points"] or found["said"]
        start, end = found["span"]
        text = f"{text[:start]}[lines {first}–{last}](../{found['file']}#L{first}){text[end:]}"
    for quote in reversed(list(references.QUOTE.finditer(text))):
        where = references.lines_of(read(quote.group(1)), quote.group(4))
        if where:
            link = (f'<p class="quoted"><a href="../{quote.group(1)}#L{where[0]}">'
                    f"{quote.group(1)}, lines {where[0]}–{where[1]}</a></p>\n\n")
            text = text[:quote.start()] + link + text[quote.start():]
    return text


def render(repo, text, for_print):
    """Markdown to HTML; returns the HTML and the files of docs/ it links to.
    Its links to other pages lead where they stand in the site, as seen
    from guide/, the folder of the guide's pages and of its PDF."""
    # The solutions' blocks hold Markdown: md_in_html renders it when asked
    # to; in print every solution is open.
    # So do the going-deeper boxes, <details class="deeper">, which a
    # learner new to OpenGL may skip.
    opening = '<details markdown="1" open' if for_print else '<details markdown="1"'
    if not for_print:
        text = with_line_links(repo, text)
    text = re.sub(r"^<details(?=[ >])", opening, with_marks(text), flags=re.M)
    extensions = ["toc", "fenced_code", "tables", "md_in_html"]
    body = markdown.Markdown(extensions=extensions).convert(text)
    # md_in_html wraps a block's <summary> in a paragraph, where the
    # browser no longer takes it for the block's label.
    body = re.sub(r"<p>(<summary>.*?</summary>)</p>", r"\1", body)
    # Each picture with its words as its caption.
    body = re.sub(r'<p>(<img alt="([^"]*)"[^>]*>)</p>', r"<figure>\1<figcaption>\2</figcaption></figure>", body)

    docs = repo / "docs"
    site_names = {markdown_name: page for markdown_name, page, _ in SITE_PAGES}
    printed = {markdown_name: page for markdown_name, page, _ in PAGES}
    files = set()

    def relink(match):
        attribute, target = match.group(1), match.group(2)
        path, _, fragment = target.partition("#")
        anchor = "#" + fragment if fragment else ""
        if not path or re.match(r"[a-z]+:", target):
            return match.group(0)
        if for_print and path in printed:
            return f'{attribute}="#{fragment or printed[path]}"'
        source = re.fullmatch(r"\.\./(core|lessons)/([\w.]+\.(?:h|cpp))", path)
        if source:
            new = f"../source/{source.group(2)}.html{anchor}"
        elif path in site_names:
            new = f"{site_names[path]}.html{anchor}"
        elif (docs / path).is_file():
            files.add(path)
            new = target
        else:
            return None
        return f'{attribute}="{new}"'

    def link(match):
        new = relink(re.match(r'(href)="([^"]*)"', match.group(1)))
        # A link to what the site does not hold keeps its text only.
        return f"<a {new}>{match.group(2)}</a>" if new else match.group(2)

    body = re.sub(r'<a (href="[^"]*")>(.*?)</a>', link, body, flags=re.S)
    body = breakable(body)
    for picture in re.findall(r'<(?:img|image) [^>]*?(?:src|href)="([^"]+)"', body):
        if not (docs / picture).is_file():
            fail(f"the guide shows {picture}, which docs/ does not hold.")
        files.add(picture)
    if for_print:
        # A printed solution cannot be downloaded: its patch follows it.
        def patch(match):
            name = "exercises/" + match.group(1)
            return (match.group(0) + '<pre class="patch"><code>'
                    + html.escape((docs / name).read_text()) + "</code></pre>")
        body = re.sub(r'<p>The patch:\s+(?:<a [^>]*>)?([\w-]+\.patch)\b.*?</p>', patch, body, flags=re.S)
    return body, files


def breakable(body):
    """Inline code with a <wbr> after each slash, dot and underscore inside
    a name: where a narrow screen may break it, rather than mid-word."""
    def wbr(match):
        return "<code>" + re.sub(r"(?<=\w)([/._])(?=\w)", r"\1<wbr>", match.group(1)) + "</code>"
    parts = re.split(r"(<pre[ >].*?</pre>)", body, flags=re.S)
    return "".join(part if part.startswith("<pre") else re.sub(r"<code>(.*?)</code>", wbr, part, flags=re.S)
                   for part in parts)


# The PNG chunks that tag a picture's colours (gamma, primaries, profile).
COLOUR_CHUNKS = {b"gAMA", b"cHRM", b"sRGB", b"iCCP"}


def untagged_png(data):
    """The PNG with its colour tags left out and its pixels as they were.
    Chromium converts a tagged picture's colours when it prints it, which
    moves greens such as 198 to 197: untagged, it takes them as they are."""
    out, at = [data[:8]], 8
    while at < len(data):
        length = int.from_bytes(data[at:at + 4], "big")
        chunk = data[at:at + 12 + length]
        if chunk[4:8] not in COLOUR_CHUNKS:
            out.append(chunk)
        at += 12 + length
    return b"".join(out)


def copy_files(repo, files, folder, untag=False):
    for name in files:
        (folder / name).parent.mkdir(parents=True, exist_ok=True)
        data = (repo / "docs" / name).read_bytes()
        if untag and name.endswith(".png"):
            data = untagged_png(data)
        (folder / name).write_bytes(data)


def chapters(body):
    """The rendered guide cut before each <h2>: (name, title, html) for its
    opening, named lessons, and for each chapter, named by its heading."""
    parts = re.split(r'(?=<h2 id=")', body)
    out = [("lessons", PAGES[0][2], parts[0])]
    for part in parts[1:]:
        anchor, title = re.match(r'<h2 id="([^"]+)">(.*?)</h2>', part, flags=re.S).groups()
        out.append((anchor, re.sub(r"<[^>]+>", "", title), part))
    return out


def sections(body):
    """(id, title) of each <h3> (or <h2> where there is none below it)."""
    found = re.findall(r'<h3 id="([^"]+)">(.*?)</h3>', body, flags=re.S)
    if not found and body.count("<h2 ") > 1:
        found = re.findall(r'<h2 id="([^"]+)">(.*?)</h2>', body, flags=re.S)
    return [(anchor, re.sub(r"<[^>]+>", "", title)) for anchor, title in found]


def site_pages(repo):
    """Every page of the guide in reading order: (name, title, html), and
    the files of docs/ they show or link to.  The chapters of lessons.md
    each have a page, the other Markdown files of SITE_PAGES one each."""
    pages, files = [], set()
    for markdown_name, name, title in SITE_PAGES:
        body, used = render(repo, (repo / "docs" / markdown_name).read_text(), for_print=False)
        files |= used
        pages += chapters(body) if name == "lessons" else [(name, title, body)]
    # A link to an anchor leads to the page that holds it.
    where = {anchor: name for name, _, body in pages for anchor in re.findall(r' id="([^"]+)"', body)}

    def relink(name, match):
        page, anchor = match.groups()
        target = where.get(anchor, page[:-5] if page else name)
        return f'href="{"" if target == name else target + ".html"}#{anchor}"'
    pages = [(name, title, re.sub(r'href="((?:lessons|teaching|performance)\.html)?#([^"]+)"',
                                  lambda m, n=name: relink(n, m), body))
             for name, title, body in pages]
    return pages, files


def contents(pages, current):
    """The list of every page, with the sections of the current one."""
    items = []
    for name, title, body in pages:
        here = ' aria-current="page"' if name == current else ""
        inner = ""
        if name == current and sections(body):
            inner = "<ol>" + "".join(f'<li><a href="#{anchor}">{html.escape(text)}</a></li>'
                                     for anchor, text in sections(body)) + "</ol>"
        items.append(f'<li data-page="{name}"><a href="{name}.html"{here}>{html.escape(title)}</a>{inner}</li>')
    return ('<nav class="contents" aria-label="Contents of the guide"><details id="contents">'
            '<summary>Contents</summary><ol>' + "".join(items) + "</ol></details></nav>")


def pager(pages, at):
    """Links to the page before and the page after."""
    links = []
    for rel, other, sign in (("prev", at - 1, "Previous"), ("next", at + 1, "Next")):
        if 0 <= other < len(pages):
            name, title, _ = pages[other]
            links.append(f'<a rel="{rel}" href="{name}.html">{sign}: {html.escape(title)}</a>')
    return f'<nav class="pager" aria-label="The page before and after">{"".join(links)}</nav>'


def write_site_guide(repo, out, pdf=None):
    """A page of guide/ for each chapter of the guide, the teacher's page
    and the performance notes, with what they show or link to, and the
    search's index; PDF, if given, is the printed copy's name in guide/,
    linked from each.  Returns the page of each lesson's chapter by the
    lesson's number."""
    folder = out / "guide"
    folder.mkdir(exist_ok=True)
    pages, files = site_pages(repo)
    copy_files(repo, files, folder)
    bar = '<a href="../index.html">All lessons</a> · <a href="lessons.html">The guide</a>'
    if pdf:
        bar += f' · <a href="{pdf}">As a PDF, to print</a>'
    search = ('<form class="search" role="search" hidden><label for="search">Search the guide</label>'
              '<input id="search" type="search" autocomplete="off">'
              '<ol id="results" aria-live="polite"></ol></form>')
    for at, (name, title, body) in enumerate(pages):
        place = f'<p class="place">Page {at + 1} of {len(pages)} of the guide</p>'
        done = (f'<p class="done"><label><input type="checkbox" data-done="{name}"> '
                f'I have worked through this page</label></p>')
        # A chapter's heading is its page's.
        body = re.sub(r"^<h2( id=[^>]*>.*?)</h2>", r"<h1\1</h1>", body.lstrip(), flags=re.S)
        heading = "" if body.startswith("<h1") else f"<h1>{html.escape(title)}</h1>"
        text = f"""<header class="bar"><p class="crumbs">{bar}</p>{search}</header>
<div class="guide">{contents(pages, name)}
<main class="prose">{place}{heading}{body}{done}{pager(pages, at)}</main>
</div>"""
        (folder / f"{name}.html").write_text(page(
            title, text, ["../style.css", "../highlight.css", ("../print.css", "print")],
            ["../minisearch.js", "search-index.js", "../guide.js"]))
    write_search_index(pages, folder / "search-index.js")
    return {number: name for name, title, _ in pages
            for number in re.findall(r"^Lesson (\d+)\b", title)}


def write_search_index(pages, path):
    """The search's index of every section of the guide, built now with
    MiniSearch (web/search_index.mjs) and loaded by each page as a script,
    which a page opened from the disk may load where it may not fetch."""
    documents = []
    for name, title, body in pages:
        for part in re.split(r'(?=<h[23] id=")', body):
            heading = re.match(r'<h[23] id="([^"]+)">(.*?)</h[23]>', part, flags=re.S)
            anchor, section = heading.groups() if heading else ("", title)
            words = html.unescape(" ".join(re.sub(r"<[^>]+>", " ", part).split()))
            documents.append({"id": len(documents), "title": html.unescape(re.sub(r"<[^>]+>", "", section)),
                              "page": title, "url": f"{name}.html" + (f"#{anchor}" if anchor else ""),
                              "text": words})
    node = shutil.which("node") or shutil.which("nodejs")
    if not node:
        fail("Node.js, which builds the guide's search index, is missing: install the Debian "
             "package nodejs (scripts/setup does).")
    script = pathlib.Path(__file__).resolve().parent / "search_index.mjs"
    run = subprocess.run([node, str(script), str(path)], input=json.dumps(documents),
                         capture_output=True, text=True)
    if run.returncode != 0:
        fail(f"the search index was not built: {run.stderr.strip()[-300:]}")


def find_chromium():
    for name in ("chromium", "chromium-browser", "google-chrome"):
        path = shutil.which(name)
        if path:
            return path
    return None


def outline_pages(pdf, listed):
    """The page of each (anchor, title) of listed, in order, from the PDF's
    bookmarks as poppler's pdftohtml reads them; {} without it."""
    if not shutil.which("pdftohtml"):
        return {}
    xml = subprocess.run(["pdftohtml", "-xml", "-i", "-stdout", str(pdf)],
                         capture_output=True, text=True).stdout

    def squeezed(text):
        return re.sub(r"\W", "", html.unescape(re.sub(r"<[^>]+>", "", text)))
    marks = [(page, squeezed(text)) for page, text in re.findall(r'<item page="(\d+)">([^<]*)', xml)]
    numbers, at = {}, 0
    for anchor, title in listed:
        found = next((i for i in range(at, len(marks)) if marks[i][1] == squeezed(title)), None)
        if found is not None:
            numbers[anchor], at = marks[found][0], found + 1
    return numbers


def site_links(pdf, site, base):
    """Rewrites each link of the printed PDF that Chromium made a file: URL
    under site, the folder it printed in standing for the site: relative to
    the site's guide/, where the PDF is, so that it works beside the site,
    or, given the site's address base, absolute to it.  A link into the
    disk anywhere else is a fault, not a link to print."""
    try:
        import pikepdf
    except ImportError:
        fail("pikepdf, which sets the PDF's links, is missing: install the Debian package "
             "python3-pikepdf (scripts/setup --pdf does).")
    root = site.as_uri() + "/"
    with pikepdf.open(pdf, allow_overwriting_input=True) as document:
        for number, sheet in enumerate(document.pages, 1):
            for note in sheet.get("/Annots", []):
                action = note.get("/A")
                if action is None or "/URI" not in action:
                    continue
                target = str(action.URI)
                if target.startswith("file:"):
                    if not target.startswith(root):
                        fail(f"page {number} links into the disk, to {target}.")
                    path, _, fragment = urllib.parse.unquote(target[len(root):]).partition("#")
                    target = posixpath.relpath(path, "guide") + ("#" + fragment if fragment else "")
                    if base:
                        target = urllib.parse.urljoin(base.rstrip("/") + "/guide/", target)
                    action.URI = pikepdf.String(target)
        document.save(pdf)


def write_pdf(repo, pdf, base=None):
    """Every page of the guide, in order, printed by Chromium into PDF, after
    a list of its chapters with their pages; each chapter and section a
    bookmark, each page numbered (print.css).  base is the site's address,
    which its links lead to; without it they are relative to the PDF, as it
    stands in the site's guide/.  It is printed twice: the first copy's
    bookmarks give the list its pages, which hold the same number of digits
    in both."""
    chromium = find_chromium()
    if not chromium:
        fail("Chromium is missing, and it prints the PDF: install the Debian package "
             "chromium (scripts/setup --tests does).")
    with tempfile.TemporaryDirectory(prefix="velmor-guide-") as site:
        # Printed in a guide/ of its own, as the site's pages are, its
        # links lead where theirs do.
        site = pathlib.Path(site)
        work = site / "guide"
        work.mkdir()
        bodies, files, listed = [], set(), []
        for markdown_name, name, _ in PAGES:
            body, used = render(repo, (repo / "docs" / markdown_name).read_text(), for_print=True)
            bodies.append(f'<section class="page" id="{name}">\n{body}\n</section>')
            listed += re.findall(r'<h[12] id="([^"]+)">(.*?)</h[12]>', body)
            files |= used
        copy_files(repo, files, work, untag=True)
        for css in ("style.css", "print.css"):
            shutil.copy(repo / "web" / "site" / css, work / css)
        printed = work / "guide.html"
        pdf = pathlib.Path(pdf).resolve()
        pdf.parent.mkdir(parents=True, exist_ok=True)

        def print_with(numbers):
            items = "".join(f'<li><a href="#{anchor}">{title}</a> <span class="at">{numbers.get(anchor, "")}</span></li>'
                            for anchor, title in listed)
            listing = f'<nav class="toc" aria-label="Contents"><h1>Contents</h1><ol>{items}</ol></nav>'
            printed.write_text(page(PAGES[0][2], '<div class="prose">' + listing + "\n".join(bodies) + "</div>",
                                    ["style.css", "print.css"]))
            pdf.unlink(missing_ok=True)
            command = [chromium, "--headless", "--no-sandbox", "--disable-gpu",
                       "--no-pdf-header-footer", "--run-all-compositor-stages-before-draw",
                       "--force-color-profile=srgb", "--generate-pdf-document-outline",
                       f"--print-to-pdf={pdf}", printed.as_uri()]
            try:
                run = subprocess.run(command, capture_output=True, text=True, timeout=180)
            except subprocess.TimeoutExpired:
                fail("Chromium did not print the guide within 3 minutes.")
            if not pdf.is_file() or pdf.stat().st_size == 0:
                fail(f"Chromium printed no PDF (exit {run.returncode}): {run.stderr.strip()[-400:]}")

        print_with({anchor: "00" for anchor, _ in listed})
        numbers = outline_pages(pdf, listed)
        if numbers:
            print_with(numbers)
        site_links(pdf, site, base)


def main():
    if len(sys.argv) not in (4, 5) or sys.argv[1] != "pdf":
        fail("usage: guide_pages.py pdf REPO OUT.pdf [SITE_ADDRESS]")
    write_pdf(pathlib.Path(sys.argv[2]), sys.argv[3], *sys.argv[4:])


if __name__ == "__main__":
    main()

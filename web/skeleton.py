"""The one HTML skeleton of every page of the site (make_site.py,
guide_pages.py, function_page.py) and of the printed guide."""
import html
import re


def page(title, body, styles=(), scripts=(), attributes=""):
    """A page titled title holding body, with each stylesheet of styles,
    an href or a pair (href, media), and each script of scripts after the
    body; attributes go on the <html> element.  Code too wide for the
    screen scrolls in its block, which the keyboard can then reach; so does
    a table on a phone."""
    links = []
    for style in styles:
        href, media = (style, "") if isinstance(style, str) else style
        media = f' media="{media}"' if media else ""
        links.append(f'<link rel="stylesheet" href="{href}"{media}>')
    body = re.sub(r"<(pre|table)(?=[ >])", r'<\1 tabindex="0"', body)
    scripts = "".join(f'\n<script src="{src}"></script>' for src in scripts)
    return f"""<!DOCTYPE html>
<html lang="en"{attributes}>
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>{html.escape(title)}</title>
<link rel="icon" href="data:,">
{chr(10).join(links)}
</head>
<body>
{body}{scripts}
</body>
</html>
"""

#!/usr/bin/env python3
"""Writes a static site of N pages for the crawl benchmark.

Pages live at /p/<i>.html (page 0 is also /index.html). Each page links to about 25 other pages:
its ten children in a tree (so every page is reachable within a few levels), the next page and
pseudo-random others. One page in ten also links to a page that does not exist (/missing/<i>.html)
and one in ten to /r/<j>, which the server answers with a 301 to /p/<j>.html. Every page shares
one style sheet and one image. The output is the same for the same N and seed.

Beside the site it writes urls.txt, every path a scan from "/" with the default settings must
report (the start, each linked page, the image, each missing page and each redirect; the head's
style sheet link is not one), one a line, sorted, and occurrences.txt, the number of those
links on all pages together.
"""
import argparse
import os
import random

WORDS = (
    "harbour bakery rye loaf crust oven flour morning market street window baker dough "
    "starter sourdough spelt barley seeds honey butter salt water fire stone table bread "
    "village season autumn summer winter spring festival class tasting journal menu"
).split()


def paragraph(rng, words):
    return " ".join(rng.choice(WORDS) for _ in range(words)).capitalize() + "."


def page(i, pages, rng, links_per_page, linked):
    targets = []
    for child in range(10 * i + 1, min(10 * i + 11, pages)):
        targets.append(child)
    if i + 1 < pages:
        targets.append(i + 1)
    while len(targets) < links_per_page and pages > 1:
        j = rng.randrange(pages)
        if j != i:
            targets.append(j)
    items = [f'<li><a href="/p/{j}.html">Page {j}</a></li>' for j in targets]
    hrefs = [f"/p/{j}.html" for j in targets]
    if i % 10 == 3:
        items.append(f'<li><a href="/missing/{i}.html">An old page</a></li>')
        hrefs.append(f"/missing/{i}.html")
    if i % 10 == 7:
        moved = rng.randrange(pages)
        items.append(f'<li><a href="/r/{moved}">A moved page</a></li>')
        hrefs.append(f"/r/{moved}")
    hrefs.append("/logo.svg")
    linked.update(hrefs)
    body = "\n".join(f"<p>{paragraph(rng, 60)}</p>" for _ in range(4))
    return len(hrefs), f"""<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<title>Page {i} of the benchmark site</title>
<meta name="description" content="Page {i}: {paragraph(rng, 12)}">
<link rel="stylesheet" href="/site.css">
</head>
<body>
<h1>Page {i}</h1>
<img src="/logo.svg" alt="logo" width="40" height="40">
{body}
<h2>More pages</h2>
<ul>
{chr(10).join(items)}
</ul>
</body>
</html>
"""


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--pages", type=int, required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("--links", type=int, default=25)
    parser.add_argument("--seed", type=int, default=7)
    args = parser.parse_args()

    rng = random.Random(args.seed)
    os.makedirs(os.path.join(args.out, "p"), exist_ok=True)
    with open(os.path.join(args.out, "site.css"), "w") as f:
        f.write("body { font-family: sans-serif; max-width: 40em; margin: auto; }\n")
    with open(os.path.join(args.out, "logo.svg"), "w") as f:
        f.write('<svg xmlns="http://www.w3.org/2000/svg" width="40" height="40">'
                '<circle cx="20" cy="20" r="18" fill="#a56"/></svg>\n')
    linked = {"/"}
    occurrences = 0
    for i in range(args.pages):
        count, text = page(i, args.pages, rng, args.links, linked)
        occurrences += count
        with open(os.path.join(args.out, "p", f"{i}.html"), "w") as f:
            f.write(text)
        if i == 0:
            with open(os.path.join(args.out, "index.html"), "w") as f:
                f.write(text)
    with open(os.path.join(args.out, "urls.txt"), "w") as f:
        f.write("".join(f"{path}\n" for path in sorted(linked)))
    with open(os.path.join(args.out, "occurrences.txt"), "w") as f:
        f.write(f"{occurrences}\n")


if __name__ == "__main__":
    main()

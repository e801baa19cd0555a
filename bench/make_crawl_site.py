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

With --link-texts long (and --links 32, as memory_bench.sh gives it) the links read as those of
a documentation site: each link's text is 20 to 60 characters, no two the same on one page, and
a link to a page carries one of four wordings of that page's title, so the texts repeat across
the pages that link to it (about four hundred thousand distinct texts on 100,000 pages). The
links and the pages' other text are those of the short-text site with the same options.

With --shape real the site is shaped like a real documentation site instead: pages of 14 to 35 KB
in a tree of sections (/docs/s<a>/s<b>/page-<i>.html; the pages of the first of ten top sections under
/private/, which robots.txt disallows), each with breadcrumbs to its ancestors and 20 to 40 links
in all (its section's pages, its children, related pages), worded by the target's title. About
9.4% as many missing pages and as many redirects as pages (/moved/<path> answers 301 to <path>,
see nginx_site.sh), each linked about three times; 2% as many outside addresses
(http://localhost:9/..., where nothing answers) linked twice a page on average; 2% of the pages,
all leaves of the tree, carry a robots "nofollow" meta element. At 100,000 pages that is about
120,000 URLs and 3.2 million link occurrences. urls.txt lists what a scan with the default
settings reports, urls-robots.txt what one that obeys robots.txt reports.
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


def title(j):
    """The title of page j: 20 to 40 characters, the same for the same j."""
    words = random.Random(j * 7919 + 13)
    text = f"{j}"
    while len(text) < 20:
        text += " " + words.choice(WORDS)
    while True:
        word = words.choice(WORDS)
        if len(text) + 1 + len(word) > 40 or words.random() < 0.3:
            return text.capitalize()
        text += " " + word


# The four wordings of a link to a page: a page links to one page once, so no two links of one
# page share a text, and every wording of a much-linked page is met on many pages.
WORDINGS = ("{}", "Read more: {}", "{}, in detail", "See the notes on {}")


def long_text(j, wording):
    text = WORDINGS[wording].format(title(j))
    assert 20 <= len(text) <= 60, text
    return text


def page(i, pages, rng, links_per_page, linked, long_texts=False):
    targets = []
    for child in range(10 * i + 1, min(10 * i + 11, pages)):
        targets.append(child)
    if i + 1 < pages:
        targets.append(i + 1)
    while len(targets) < links_per_page and pages > 1:
        j = rng.randrange(pages)
        if j != i:
            targets.append(j)
    if long_texts:
        # One wording a link, from the link's own numbers so that the targets and the rest of
        # the page stay those of the short-text site; the same target twice on a page is
        # worded apart.
        seen = set()
        texts = []
        for k, j in enumerate(targets):
            wording = (i * 31 + k * 17 + j) % len(WORDINGS)
            for _ in WORDINGS:
                if (j, wording) not in seen:
                    break
                wording = (wording + 1) % len(WORDINGS)
            if (j, wording) in seen:  # a fifth link to one page, on a tiny site
                texts.append(f"{title(j)} ({k})")
                continue
            seen.add((j, wording))
            texts.append(long_text(j, wording))
    else:
        texts = [f"Page {j}" for j in targets]
    items = [f'<li><a href="/p/{j}.html">{text}</a></li>' for j, text in zip(targets, texts)]
    hrefs = [f"/p/{j}.html" for j in targets]
    if i % 10 == 3:
        old = f"An old page on {title(i).lower()}" if long_texts else "An old page"
        items.append(f'<li><a href="/missing/{i}.html">{old}</a></li>')
        hrefs.append(f"/missing/{i}.html")
    if i % 10 == 7:
        moved = rng.randrange(pages)
        moved_text = f"Moved: {title(moved).lower()}" if long_texts else "A moved page"
        items.append(f'<li><a href="/r/{moved}">{moved_text}</a></li>')
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


def real_site(args):
    """The documentation-shaped site of --shape real (see the module's text)."""
    n = args.pages
    rng = random.Random(args.seed)
    out = args.out

    def parent(i):
        return (i - 1) // 10 if i > 0 else None

    def ancestors(i):
        chain = []
        while i is not None:
            chain.append(i)
            i = parent(i)
        return chain[::-1]  # the root first

    def private(i):
        chain = ancestors(i)
        return len(chain) > 1 and chain[1] == 1

    def path(i):
        if i == 0:
            return "/"
        chain = ancestors(i)
        folder = "/private/" if private(i) else "/docs/"
        return folder + "".join(f"s{a}/" for a in chain[1:3]) + f"page-{i}.html"

    def children(i):
        return range(10 * i + 1, min(10 * i + 11, n))

    titles = [title(j) for j in range(n)]

    def link_text(j, wording):
        return WORDINGS[wording].format(titles[j])

    # A pool of paragraphs the pages draw from, so that a page's text costs little to make.
    paragraphs = [f"<p>{paragraph(rng, rng.randint(40, 160))}</p>" for _ in range(400)]
    leaves = [i for i in range(n // 10 + 1, n) if not private(i)]
    nofollow = set(rng.sample(leaves, min(len(leaves), n // 50)))
    missing = max(1, n * 94 // 1000)
    redirects = max(1, n * 94 // 1000)
    outside = max(1, n // 50)
    # Each missing page and redirect is linked about three times, from pages picked at random.
    extra = [[] for _ in range(n)]
    for k in range(missing):
        for _ in range(3):
            extra[rng.randrange(n)].append((f"/docs/gone/old-{k}.html", f"An old page on {titles[k % n].lower()}"))
    redirected = {}
    for k in range(redirects):
        target = rng.randrange(1, n)
        redirected[f"/moved{path(target)}"] = path(target)
        for _ in range(3):
            extra[rng.randrange(n)].append((f"/moved{path(target)}", f"Moved: {titles[target].lower()}"))

    os.makedirs(out, exist_ok=True)
    with open(os.path.join(out, "robots.txt"), "w") as f:
        f.write("User-agent: *\nDisallow: /private/\n")
    with open(os.path.join(out, "site.css"), "w") as f:
        f.write("body { font-family: sans-serif; max-width: 50em; margin: auto; }\n")
    with open(os.path.join(out, "logo.svg"), "w") as f:
        f.write('<svg xmlns="http://www.w3.org/2000/svg" width="40" height="40">'
                '<circle cx="20" cy="20" r="18" fill="#5a6"/></svg>\n')

    linked_all = {"/"}
    linked_public = {"/"}
    occurrences = 0
    for i in range(n):
        chain = ancestors(i)
        crumbs = [(path(a), titles[a]) for a in chain[:-1]]
        wanted = rng.randint(20, 37) - len(crumbs)
        targets = []
        seen = {i}
        siblings = list(children(parent(i))) if i > 0 else []
        for j in list(children(i)) + siblings[:12]:
            if j not in seen and len(targets) < wanted:
                targets.append(j)
                seen.add(j)
        while len(targets) < wanted:
            j = rng.randrange(n)
            if j not in seen:
                targets.append(j)
                seen.add(j)
        links = crumbs + [(path(j), link_text(j, (i + k) % len(WORDINGS))) for k, j in enumerate(targets)]
        links += extra[i]
        for _ in range(rng.choice((1, 2, 2, 3))):
            k = rng.randrange(outside)
            links.append((f"http://localhost:9/reference/{k}.html", f"Outside reference {k}: {titles[k % n]}"))
        hrefs = [href for href, _ in links] + ["/logo.svg"]
        occurrences += len(hrefs)
        linked_all.update(hrefs)
        if not private(i):
            linked_public.update(hrefs)
        crumb_items = " &rsaquo; ".join(f'<a href="{href}">{text}</a>' for href, text in crumbs)
        items = "\n".join(f'<li><a href="{href}">{text}</a></li>' for href, text in links[len(crumbs):])
        # Text until the page is 14 to 35 KB, with a heading now and then.
        size = rng.randint(14000, 35000) - len(crumb_items) - len(items) - 600
        body = []
        while size > 0:
            text = rng.choice(paragraphs)
            body.append(text)
            size -= len(text) + 1
            if rng.random() < 0.15:
                level = rng.choice((2, 3))
                body.append(f"<h{level}>{titles[rng.randrange(n)]}</h{level}>")
        meta = '<meta name="robots" content="nofollow">\n' if i in nofollow else ""
        page_text = f"""<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<title>{titles[i]} - the benchmark documentation</title>
<meta name="description" content="{titles[i]}: {paragraph(rng, 14)}">
{meta}<link rel="stylesheet" href="/site.css">
</head>
<body>
<nav class="breadcrumbs">{crumb_items}</nav>
<img src="/logo.svg" alt="logo" width="40" height="40">
<h1>{titles[i]}</h1>
{chr(10).join(body)}
<h2>See also</h2>
<ul>
{items}
</ul>
</body>
</html>
"""
        name = os.path.join(out, "index.html") if i == 0 else os.path.join(out, path(i).lstrip("/"))
        os.makedirs(os.path.dirname(name), exist_ok=True)
        with open(name, "w") as f:
            f.write(page_text)
    # Obeying robots.txt, a page under /private/ is listed but not read; a redirect's target is
    # listed even when nothing else links it.
    for source, target in redirected.items():
        linked_all.add(target)
        if source in linked_public:
            linked_public.add(target)
    for name, linked in (("urls.txt", linked_all), ("urls-robots.txt", linked_public)):
        with open(os.path.join(out, name), "w") as f:
            f.write("".join(f"{p}\n" for p in sorted(linked)))
    with open(os.path.join(out, "occurrences.txt"), "w") as f:
        f.write(f"{occurrences}\n")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--pages", type=int, required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("--links", type=int, default=25)
    parser.add_argument("--seed", type=int, default=7)
    parser.add_argument("--link-texts", choices=("short", "long"), default="short",
                        help='"short": "Page N"; "long": 20-60 characters, repeating across pages')
    parser.add_argument("--shape", choices=("plain", "real"), default="plain",
                        help='"plain": the pages above; "real": shaped like a documentation site')
    args = parser.parse_args()
    if args.shape == "real":
        real_site(args)
        return

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
        count, text = page(i, args.pages, rng, args.links, linked, args.link_texts == "long")
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

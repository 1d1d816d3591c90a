#!/usr/bin/env python3
"""make_wide_site.py FOLDER PAGES FILES_PER_PAGE: a site whose deep crawl
lists a great many distinct links quickly.

index.html links every page; each page links FILES_PER_PAGE files of its
own, which are listed but never fetched and so not written, and the index.
A deep crawl of depth 2 fetches the index and every page once and lists
PAGES * (FILES_PER_PAGE + 1) distinct links.
"""
import os
import random
import sys


def main():
    folder, pages, per_page = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    rng = random.Random(2026)
    os.makedirs(os.path.join(folder, "pages"), exist_ok=True)
    for number in range(pages):
        links = ["<a href=\"../index.html\">index</a>"]
        links += ["<a href=\"../files/p%05d/f%03d.zip\">file %d</a>" % (number, n, n) for n in range(per_page)]
        rng.shuffle(links)
        body = "\n".join("<li>%s</li>" % link for link in links)
        with open(os.path.join(folder, "pages", "p%05d.html" % number), "w") as out:
            out.write("<html><body><h1>Page %d</h1><ul>\n%s\n</ul></body></html>\n" % (number, body))
    index = "\n".join("<a href=\"pages/p%05d.html\">%d</a>" % (n, n) for n in range(pages))
    with open(os.path.join(folder, "index.html"), "w") as out:
        out.write("<html><body>\n%s\n</body></html>\n" % index)
    print("make_wide_site: %d pages listing %d links in %s" % (pages + 1, pages * (per_page + 1), folder),
          file=sys.stderr)


if __name__ == "__main__":
    main()

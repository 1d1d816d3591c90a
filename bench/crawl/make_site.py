#!/usr/bin/env python3
"""make_site.py FOLDER [PAGES]: writes the crawl benchmark's static site.

PAGES pages (default 2000) of about 10 KB in 20 section folders, plus
index.html; each page links 20 pages and 10 files. Links are relative:
most to the same folder, some to other folders through "../", a few from
the root ("/s07/p012.html"). Every page also links the next page of its
folder and the first page of the next folder, so every page can be reached
from the index. The files (1000 of 512 bytes) live in files/.
"""
import os
import random
import sys

SECTIONS = 20
FILES = 1000
WORDS = ("link harvest crawl page site folder archive mirror fetch index anchor "
         "source list depth host table entry queue transfer record").split()


def page_path(number, per_section):
    return "s%02d/p%03d.html" % (number // per_section, number % per_section)


def link_from(here, target, rng):
    """A relative reference from page `here` to `target` (both site paths)."""
    here_dir, target_dir = here.split("/")[0], target.split("/")[0]
    if rng.random() < 0.1:
        return "/" + target
    if here_dir == target_dir:
        return target.split("/")[1]
    return "../" + target


def filler(rng, size):
    words = []
    length = 0
    while length < size:
        word = rng.choice(WORDS)
        words.append(word)
        length += len(word) + 1
    text = " ".join(words)
    return "\n".join("<p>%s</p>" % text[i:i + 400] for i in range(0, len(text), 400))


def write_page(folder, path, links, files, rng):
    anchors = ["<a href=\"%s\">%s</a>" % (link, link) for link in links]
    anchors += ["<a href='%s'>file</a>" % name for name in files]
    rng.shuffle(anchors)
    body = "\n".join("<li>%s</li>" % anchor for anchor in anchors)
    html = ("<html><head><title>%s</title></head><body>\n<ul>\n%s\n</ul>\n%s\n</body></html>\n"
            % (path, body, filler(rng, 10000 - len(body) - 100)))
    full = os.path.join(folder, path)
    os.makedirs(os.path.dirname(full), exist_ok=True)
    with open(full, "w") as out:
        out.write(html)


def main():
    folder = sys.argv[1]
    pages = int(sys.argv[2]) if len(sys.argv) > 2 else 2000
    per_section = max(1, pages // SECTIONS)
    pages = per_section * SECTIONS
    rng = random.Random(2004)
    os.makedirs(os.path.join(folder, "files"), exist_ok=True)
    for number in range(FILES):
        with open(os.path.join(folder, "files", "f%04d.zip" % number), "wb") as out:
            out.write(bytes(rng.getrandbits(8) for _ in range(512)))

    for number in range(pages):
        path = page_path(number, per_section)
        section, index = divmod(number, per_section)
        targets = [page_path(section * per_section + (index + 1) % per_section, per_section),
                   page_path(((section + 1) % SECTIONS) * per_section, per_section)]
        while len(targets) < 20:
            if rng.random() < 0.6:
                other = section * per_section + rng.randrange(per_section)
            else:
                other = rng.randrange(pages)
            targets.append(page_path(other, per_section))
        links = [link_from(path, target, rng) for target in targets]
        files = []
        for _ in range(10):
            name = "files/f%04d.zip" % rng.randrange(FILES)
            files.append("/" + name if rng.random() < 0.2 else "../" + name)
        write_page(folder, path, links, files, rng)

    index_links = [page_path(section * per_section, per_section) for section in range(SECTIONS)]
    write_page(folder, "index.html", index_links, ["files/f0000.zip"], rng)
    print("make_site: %d pages and %d files in %s" % (pages + 1, FILES, folder), file=sys.stderr)


if __name__ == "__main__":
    main()

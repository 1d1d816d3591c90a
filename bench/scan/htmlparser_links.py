#!/usr/bin/env python3
"""The benchmark's peer: Python's html.parser collecting every href and src
value of a page, printing how many it found."""
import sys
from html.parser import HTMLParser


class LinkCollector(HTMLParser):
    def __init__(self):
        super().__init__(convert_charrefs=False)
        self.links = []

    def handle_starttag(self, tag, attrs):
        for name, value in attrs:
            if name in ("href", "src") and value:
                self.links.append(value)

    handle_startendtag = handle_starttag


def main():
    with open(sys.argv[1], encoding="utf-8", errors="surrogateescape") as page:
        text = page.read()
    collector = LinkCollector()
    collector.feed(text)
    collector.close()
    print(len(collector.links))


if __name__ == "__main__":
    main()

#!/usr/bin/python3
"""read_list.py PROGRAM [NAME]: prints the rows of the first list (named
NAME, when given) of a running program's windows as the accessibility interface reads them to a screen
reader: one line per row, the cells separated by tabs, then "rows N".
Prints "none" when the program or its list cannot be found."""
import sys

import pyatspi


def find_list(node, name, depth=0):
    if node is None or depth > 10:
        return None
    try:
        role = node.getRoleName()
    except Exception:
        return None
    if role in ("tree", "tree table", "table") and (not name or node.name == name):
        return node
    for child in node:
        found = find_list(child, name, depth + 1)
        if found is not None:
            return found
    return None


def main():
    program = sys.argv[1]
    name = sys.argv[2] if len(sys.argv) > 2 else ""
    for app in pyatspi.Registry.getDesktop(0):
        if app is None or app.name != program:
            continue
        found = find_list(app, name)
        if found is None:
            break
        table = found.queryTable()
        for row in range(table.nRows):
            print("\t".join(table.getAccessibleAt(row, column).name for column in range(table.nColumns)))
        print("rows %d" % table.nRows)
        return
    print("none")


if __name__ == "__main__":
    main()

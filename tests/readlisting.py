#!/usr/bin/env python3
"""Reads a data listing the way a program would, with Python's own json and csv modules.

Usage: readlisting.py json|ndjson|csv LISTING
Prints each file's and folder's exact name as hex, with its kind, one a line; fails when a
name's bytes cannot be had exactly, or when an entry's target does not lead to its name.
"""
import csv
import json
import sys
from urllib.parse import unquote_to_bytes


def exact_name(entry):
    # A name that is not UTF-8 comes with its bytes; any other is its own UTF-8.
    if entry.get("name_bytes"):
        return unquote_to_bytes(entry["name_bytes"])
    name = entry["name"]
    if name.startswith("'") and entry.get("csv"):
        raise SystemExit("a guarded name came without its bytes: %r" % name)
    return name.encode("utf-8")


def entries(style, path):
    if style == "json":
        with open(path, encoding="utf-8") as f:
            document = json.load(f)
        assert document["schema"] == 1, document["schema"]
        return document["entries"]
    if style == "ndjson":
        records = []
        with open(path, encoding="utf-8") as f:
            for line in f:
                records.append(json.loads(line))
        assert records[0]["record"] == "listing" and records[0]["schema"] == 1
        assert records[-1]["record"] == "totals"
        return [r for r in records if r["record"] == "entry"]
    with open(path, encoding="utf-8", newline="") as f:
        rows = list(csv.DictReader(f))
    for row in rows:
        row["csv"] = True
    return rows


def main():
    style, path = sys.argv[1], sys.argv[2]
    for entry in entries(style, path):
        name = exact_name(entry)
        target = entry["target"]
        if target.startswith("./"):
            target = target[2:]
        wanted = name + (b"/" if entry["kind"] == "folder" else b"")
        if unquote_to_bytes(target) != wanted:
            raise SystemExit("%r leads to %r" % (name, target))
        print(entry["kind"], name.hex())


main()

#!/usr/bin/env python3
"""Validates a `lumacore-cli scan --json` listing against res/schema/scan.schema.json.

Usage: check_listing.py SCHEMA LISTING. Prints the number of files and the first file's path; exits 1
with the first error when the listing does not match the schema.
"""
import json
import sys

import jsonschema


def main() -> int:
    with open(sys.argv[1], encoding="utf-8") as f:
        schema = json.load(f)
    with open(sys.argv[2], encoding="utf-8") as f:
        listing = json.load(f)
    validator = jsonschema.Draft202012Validator(schema)
    errors = sorted(validator.iter_errors(listing), key=lambda e: list(e.absolute_path))
    if errors:
        error = errors[0]
        print(f"{'/'.join(map(str, error.absolute_path))}: {error.message}", file=sys.stderr)
        return 1
    files = listing["files"]
    print(len(files))
    print(files[0]["path"] if files else "")
    return 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""Validates taloveric's JSON (a document, or JSON Lines) against a schema.

usage: validate_json.py SCHEMA FILE...  prints nothing and exits 0 when valid.
"""
import json
import sys

import jsonschema


def main():
    schema = json.load(open(sys.argv[1]))
    jsonschema.Draft202012Validator.check_schema(schema)
    validator = jsonschema.Draft202012Validator(schema)
    bad = 0
    for name in sys.argv[2:]:
        text = open(name, encoding="utf-8").read()
        try:
            documents = [json.loads(text)]
        except json.JSONDecodeError:
            documents = [json.loads(line) for line in text.splitlines()]  # JSON Lines
        if not documents:
            print(f"{name}: no JSON")
            bad += 1
        for number, document in enumerate(documents, 1):
            for error in validator.iter_errors(document):
                print(f"{name} #{number}: {error.json_path}: {error.message}")
                bad += 1
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""Checks run reports against the schema: validate_report.py SCHEMA REPORT...

Exits 1 naming every report that is not valid JSON or breaks the schema (and the schema itself when it is not a
valid draft 2020-12 schema). Without python3-jsonschema it says SKIPPED and exits 0.
"""
import json
import sys

try:
    import jsonschema
except ImportError:
    print("SKIPPED: python3-jsonschema is not installed (scripts/install-deps.sh installs it)")
    sys.exit(0)


def main():
    if len(sys.argv) < 2:
        print("usage: validate_report.py SCHEMA REPORT...", file=sys.stderr)
        return 2
    with open(sys.argv[1], encoding="utf-8") as f:
        schema = json.load(f)
    jsonschema.Draft202012Validator.check_schema(schema)
    validator = jsonschema.Draft202012Validator(schema)
    bad = 0
    for path in sys.argv[2:]:
        try:
            with open(path, encoding="utf-8") as f:
                report = json.load(f)
        except (OSError, ValueError) as e:
            print(f"{path}: not a JSON document: {e}")
            bad += 1
            continue
        errors = sorted(validator.iter_errors(report), key=lambda e: list(e.path))
        for e in errors:
            print(f"{path}: {'/'.join(str(p) for p in e.path) or '(top)'}: {e.message}")
        bad += 1 if errors else 0
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())

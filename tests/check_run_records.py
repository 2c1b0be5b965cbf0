#!/usr/bin/env python3
"""Checks run records against doc/run-record.schema.json.

    check_run_records.py SCHEMA [--exact] FILE...

Every non-blank line of each FILE must be one JSON object that validates
against SCHEMA.  With --exact a record must also hold exactly the schema's
properties (what SMS_TEST writes, before sms_campaign adds its own fields).
Exit code 0 when all do, 1 with one line per fault otherwise, 3 when the
jsonschema module is missing.
"""
import json
import sys

try:
    import jsonschema
except ImportError:
    print("python3-jsonschema is not installed")
    sys.exit(3)


def main(argv):
    schema = json.load(open(argv[1], encoding="utf-8"))
    exact = "--exact" in argv[2:]
    files = [a for a in argv[2:] if a != "--exact"]
    validator = jsonschema.Draft202012Validator(schema)
    faults = 0
    count = 0
    for path in files:
        with open(path, "rb") as f:
            for number, raw in enumerate(f, 1):
                if not raw.strip():
                    continue
                count += 1
                try:
                    record = json.loads(raw.decode("utf-8"))
                except ValueError as error:
                    print(f"{path}:{number}: not JSON: {error}")
                    faults += 1
                    continue
                for error in validator.iter_errors(record):
                    print(f"{path}:{number}: {error.message}")
                    faults += 1
                if exact and isinstance(record, dict):
                    extra = sorted(set(record) - set(schema["properties"]))
                    if extra:
                        print(f"{path}:{number}: fields the schema does not describe: {extra}")
                        faults += 1
    if count == 0:
        print("no records")
        return 1
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))

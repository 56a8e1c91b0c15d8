#!/usr/bin/env python3
"""Checks the schemas themselves and, given OUTPUT_FOLDER, every JSON output the tests kept.

Usage: validate_json_outputs.py SCHEMA_FOLDER COUNTEREXAMPLES [OUTPUT_FOLDER]

Each schema's $id must be its file name, so that its references resolve from whatever folder it
is read (installed, or the source tree). Each document of COUNTEREXAMPLES must be refused by its
schema, so that a schema too lax to tell a fault is noticed. OUTPUT_FOLDER holds a folder per
schema: "tree" for tree.schema.json, and "info.info" for the definition "info" of
info.schema.json. Files of scan-row and export-manifest hold one document a line, the others
one document each. Every
schema but the shared envelope must have outputs, so that a test that stops keeping them is
noticed.
"""
import json
import pathlib
import sys

from jsonschema import Draft202012Validator

SHARED = {"envelope.schema.json"}


def validator_maker(schemas):
    """A function that makes the validator of one schema reference. Debian 12's jsonschema
    resolves references through RefResolver; later ones through the referencing library."""
    try:
        from referencing import Registry, Resource

        registry = Registry().with_resources(
            (name, Resource.from_contents(schema)) for name, schema in schemas.items())
        return lambda reference: Draft202012Validator({"$ref": reference}, registry=registry)
    except ImportError:
        from jsonschema import RefResolver

        def make(reference):
            root = {"$ref": reference}
            return Draft202012Validator(
                root, resolver=RefResolver(base_uri="", referrer=root, store=schemas))
        return make


def documents(path, schema_name):
    text = path.read_text(encoding="utf-8")
    if schema_name in ("scan-row.schema.json", "export-manifest.schema.json"):
        for number, line in enumerate(text.splitlines(), 1):
            yield f"{path}:{number}", json.loads(line)
    else:
        yield str(path), json.loads(text)


def reference_of(name):
    """The schema reference a folder or counterexample names: "info.info" is info's "info"."""
    stem, _, definition = name.partition(".")
    return stem + ".schema.json", (f"#/$defs/{definition}" if definition else "")


def main(schema_folder, counterexamples, output_folder=None):
    schemas = {path.name: json.loads(path.read_text(encoding="utf-8"))
               for path in sorted(schema_folder.glob("*.schema.json"))}
    failures = 0
    for name, schema in schemas.items():
        for error in Draft202012Validator(Draft202012Validator.META_SCHEMA).iter_errors(schema):
            print(f"{name}: not a valid schema: {error.message}")
            failures += 1
        if schema.get("$id") != name:
            print(f"{name}: its $id is not its file name")
            failures += 1
    make = validator_maker(schemas)
    checked = {name: 0 for name in schemas if name not in SHARED} if output_folder else {}
    folders = sorted(p for p in output_folder.iterdir() if p.is_dir()) if output_folder else []
    for folder in folders:
        schema_name, pointer = reference_of(folder.name)
        if schema_name not in schemas:
            print(f"{folder}: no schema {schema_name}")
            failures += 1
            continue
        validator = make(schema_name + pointer)
        for path in sorted(folder.iterdir()):
            for where, document in documents(path, schema_name):
                checked[schema_name] = checked.get(schema_name, 0) + 1
                for error in validator.iter_errors(document):
                    location = "/".join(str(part) for part in error.absolute_path)
                    print(f"{where}: /{location}: {error.message}")
                    failures += 1
    for row in json.loads(counterexamples.read_text(encoding="utf-8")):
        schema_name, pointer = reference_of(row["schema"])
        if make(schema_name + pointer).is_valid(row["document"]):
            print(f"{counterexamples.name}: {schema_name} takes {row['why']}")
            failures += 1
    for name, count in checked.items():
        if count == 0:
            print(f"{name}: no output was checked against it")
            failures += 1
        else:
            print(f"{name}: {count} outputs valid" if failures == 0 else f"{name}: {count} outputs")
    return 1 if failures else 0


if __name__ == "__main__":
    if len(sys.argv) not in (3, 4):
        sys.exit(__doc__)
    sys.exit(main(*(pathlib.Path(arg) for arg in sys.argv[1:])))

#!/usr/bin/env python3
"""Turns the GS1 Barcode Syntax Dictionary and Debian's iso-codes lists into C++ tables.

  GenerateGs1Tables.py ai DICTIONARY OUTPUT          the AI table (Gs1AiTableData.h)
  GenerateGs1Tables.py iso ISO3166 ISO4217 OUTPUT    the country and currency codes (IsoCodeData.h)

A dictionary entry the program cannot represent stops the build with a message, so that a newer
dictionary is either taken over whole or noticed.
"""
import json
import re
import sys

MAX_COMPONENTS = 5  # kMaxGs1Components in Gs1AiTable.h
MAX_LINTERS = 3  # kMaxGs1Linters in Gs1AiTable.h
MAX_LENGTH = 255  # lengths are held in 8 bits

# GS1's currency list has moved on from the one iso-codes ships: two codes were added and four
# withdrawn ones are no longer accepted.
ISO4217_ADDED_BY_GS1 = {396, 924}
ISO4217_WITHDRAWN_BY_GS1 = {191, 694, 931, 932}

COMPONENT = re.compile(r"^(\[)?([NXYZ])(\.\.)?(\d+)(\])?((?:,[a-z0-9]+)*)$")
AI_RANGE = re.compile(r"^(\d{2,4})(?:-(\d{2,4}))?$")
FLAGS = re.compile(r"^[*!?\"$%&'()+,\-./:;<=>@\[\\\]^_`{|}~]+$")


def fail(line_number, message):
    sys.exit(f"gs1-syntax-dictionary.txt:{line_number}: {message}")


def linter_enumerator(name):
    return "Gs1Linter::" + name[0].upper() + name[1:]


def component_initialiser(token, line_number):
    match = COMPONENT.match(token)
    if not match:
        fail(line_number, f"cannot read the component '{token}'")
    opening, kind, variable, length, closing, linters = match.groups()
    if bool(opening) != bool(closing):
        fail(line_number, f"unbalanced brackets in '{token}'")
    length = int(length)
    if length > MAX_LENGTH:
        fail(line_number, f"length {length} exceeds {MAX_LENGTH}")
    names = [name for name in linters.split(",") if name]
    if len(names) > MAX_LINTERS:
        fail(line_number, f"more than {MAX_LINTERS} linters in '{token}'")
    slots = [linter_enumerator(name) for name in names]
    slots += ["Gs1Linter::None"] * (MAX_LINTERS - len(slots))
    minimum = 1 if variable else length
    optional = "true" if opening else "false"
    return f"{{'{kind}', {minimum}, {length}, {optional}, {{{{{', '.join(slots)}}}}}}}"


def entry_initialiser(line, line_number):
    fields, _, _title = line.partition("#")
    tokens = fields.split()
    ai_range = AI_RANGE.match(tokens[0])
    if not ai_range:
        fail(line_number, f"cannot read the AI '{tokens[0]}'")
    first = ai_range.group(1)
    last = ai_range.group(2) or first
    if len(first) != len(last) or first > last:
        fail(line_number, f"bad AI range '{tokens[0]}'")
    rest = tokens[1:]
    flags = rest.pop(0) if rest and FLAGS.match(rest[0]) else ""
    components = []
    while rest and COMPONENT.match(rest[0]):
        components.append(component_initialiser(rest.pop(0), line_number))
    if not components or len(components) > MAX_COMPONENTS:
        fail(line_number, f"needs 1 to {MAX_COMPONENTS} components")
    required = [token[4:] for token in rest if token.startswith("req=")]
    excluded = [token[3:] for token in rest if token.startswith("ex=")]
    keys = [token for token in rest if token == "dlpkey" or token.startswith("dlpkey=")]
    if len(keys) > 1:
        fail(line_number, "more than one dlpkey")
    qualifiers = keys[0][len("dlpkey="):] if keys else ""
    components += ["{}"] * (MAX_COMPONENTS - len(components))
    predefined = "true" if "*" in flags else "false"
    attribute = "true" if "?" in flags else "false"
    primary_key = "true" if keys else "false"
    return (f'    {{"{first}", "{last}", {predefined}, {{{{{", ".join(components)}}}}}, '
            f'"{" ".join(required)}", "{",".join(excluded)}", {attribute}, {primary_key}, "{qualifiers}"}},')


def generate_ai_table(dictionary_path, output_path):
    rows = []
    with open(dictionary_path, encoding="utf-8") as dictionary:
        for line_number, line in enumerate(dictionary, start=1):
            if line.strip() and not line.lstrip().startswith("#"):
                rows.append(entry_initialiser(line, line_number))
    with open(output_path, "w", encoding="utf-8") as output:
        output.write("// Generated from gs1/gs1-syntax-dictionary.txt by gs1/GenerateGs1Tables.py.\n")
        output.write("#pragma once\n\n#include \"gs1/Gs1AiTable.h\"\n\nnamespace korvex::internal {\n\n")
        output.write("inline constexpr Gs1AiDefinition kGs1AiDefinitions[] = {\n")
        output.write("\n".join(rows))
        output.write("\n};\n\n}  // namespace korvex::internal\n")


def codes_of(path, key, field):
    with open(path, encoding="utf-8") as source:
        return [entry[field] for entry in json.load(source)[key]]


def generate_iso_tables(iso3166_path, iso4217_path, output_path):
    countries = sorted(int(code) for code in codes_of(iso3166_path, "3166-1", "numeric"))
    alpha2 = sorted(codes_of(iso3166_path, "3166-1", "alpha_2"))
    currencies = {int(code) for code in codes_of(iso4217_path, "4217", "numeric")}
    currencies = sorted((currencies | ISO4217_ADDED_BY_GS1) - ISO4217_WITHDRAWN_BY_GS1)

    def numbers(values):
        return ", ".join(str(value) for value in values)

    with open(output_path, "w", encoding="utf-8") as output:
        output.write("// Generated from Debian's iso-codes by gs1/GenerateGs1Tables.py.\n")
        output.write("#pragma once\n\n#include <array>\n#include <cstdint>\n#include <string_view>\n\nnamespace korvex::internal {\n\n")
        output.write("// Sorted, for binary search.\n")
        output.write(f"inline constexpr std::array<uint16_t, {len(countries)}> kIso3166Numeric{{{numbers(countries)}}};\n")
        quoted = ", ".join(f'"{code}"' for code in alpha2)
        output.write(f"inline constexpr std::array<std::string_view, {len(alpha2)}> kIso3166Alpha2{{{quoted}}};\n")
        output.write(f"inline constexpr std::array<uint16_t, {len(currencies)}> kIso4217Numeric{{{numbers(currencies)}}};\n")
        output.write("\n}  // namespace korvex::internal\n")


if __name__ == "__main__":
    if len(sys.argv) == 4 and sys.argv[1] == "ai":
        generate_ai_table(sys.argv[2], sys.argv[3])
    elif len(sys.argv) == 5 and sys.argv[1] == "iso":
        generate_iso_tables(sys.argv[2], sys.argv[3], sys.argv[4])
    else:
        sys.exit(__doc__)

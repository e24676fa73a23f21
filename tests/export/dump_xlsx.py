#!/usr/bin/env python3
"""Prints a workbook as JSON, as openpyxl reads it back: the sheets in
order, each with its column ranges (<col> elements) and every cell of its
used range (value, type, number format, bold, alignments).

Usage: dump_xlsx.py FILE.xlsx
Exit status 3 when openpyxl is missing, 1 when the file does not load."""
import json
import sys

try:
    import openpyxl
except ImportError:
    sys.exit(3)


def cell_entry(cell):
    value = cell.value
    if value is None:
        kind = "e"
    elif isinstance(value, bool):
        kind = "b"
    elif isinstance(value, (int, float)):
        kind = "n"
    else:
        kind = "s"
        value = str(value)
    return {
        "v": value,
        "t": kind,
        "f": cell.number_format,
        "b": bool(cell.font.b),
        "h": cell.alignment.horizontal,
        "va": cell.alignment.vertical,
    }


def main():
    try:
        book = openpyxl.load_workbook(sys.argv[1])
    except Exception as error:  # a file openpyxl cannot read
        print(error, file=sys.stderr)
        sys.exit(1)
    sheets = []
    for sheet in book.worksheets:
        columns = [[d.min, d.max, d.width, bool(d.hidden)]
                   for d in sheet.column_dimensions.values() if d.min is not None]
        cells = {}
        for row in sheet.iter_rows():
            for cell in row:
                cells[cell.coordinate] = cell_entry(cell)
        sheets.append({"name": sheet.title, "max_row": sheet.max_row,
                       "columns": columns, "cells": cells})
    json.dump({"sheets": sheets}, sys.stdout, ensure_ascii=False)


main()

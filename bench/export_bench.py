#!/usr/bin/env python3
"""The python3-xlsxwriter side of zq_export_bench: writes the cells that
zq_export_bench dumped (values, merged formats, column widths) to an .xlsx
file and prints the time the writing took.

Usage: export_bench.py CELLS.json OUT.xlsx [--constant-memory]

Only the writing is timed (Workbook() to close()); reading the dump is not.
Prints "python_seconds S cells N". Exit status 3 when xlsxwriter is missing."""
import json
import sys
import time

try:
    import xlsxwriter
except ImportError:
    sys.exit(3)


def main():
    cells_path, out_path = sys.argv[1], sys.argv[2]
    constant_memory = "--constant-memory" in sys.argv[3:]
    with open(cells_path, encoding="utf-8") as f:
        dump = json.load(f)

    start = time.monotonic()
    book = xlsxwriter.Workbook(out_path, {"constant_memory": constant_memory})
    formats = [book.add_format(properties) for properties in dump["formats"]]
    count = 0
    for sheet_dump in dump["sheets"]:
        sheet = book.add_worksheet(sheet_dump["name"])
        for first, last, width, hidden in sheet_dump["columns"]:
            sheet.set_column(first, last, width, None, {"hidden": hidden})
        for row, cells in sheet_dump["rows"]:
            for column, format_index, kind, value in cells:
                cell_format = formats[format_index] if format_index >= 0 else None
                if kind == "s":
                    sheet.write_string(row, column, value, cell_format)
                elif kind == "n":
                    sheet.write_number(row, column, value, cell_format)
                elif kind == "b":
                    sheet.write_boolean(row, column, value, cell_format)
                else:
                    sheet.write_blank(row, column, None, cell_format)
                count += 1
    book.close()
    print("python_seconds %.3f cells %d" % (time.monotonic() - start, count))


main()

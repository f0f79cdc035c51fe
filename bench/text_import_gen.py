#!/usr/bin/python3
"""Writes the input files of bench/text_import.sh.

text_import_gen.py ROWS DIR [VARIANT]

Writes DIR/people.csv (semicolon separated, quoted text fields containing the separator and
doubled quote characters, ISO dates, decimals with a point, an integer key), DIR/people.txt
(the same rows in fixed-width columns) and the two data schemas DIR/people_csv.tic and
DIR/people_fix.tic. VARIANT (default 0) changes every value but the key, so a second file with
another variant updates every record of the first.
"""

import random
import sys

# name, width in the fixed-width file, schema type
FIELDS = [
    ("custno", 10, "idtInteger"),
    ("lastname", 30, "idtString"),
    ("firstname", 20, "idtString"),
    ("street", 40, "idtString"),
    ("zip", 10, "idtString"),
    ("city", 25, "idtString"),
    ("country", 2, "idtString"),
    ("birthday", 10, "idtDate"),
    ("balance", 14, "idtFloat"),
    ("notes", 60, "idtString"),
]

LAST = ["Miller", "O'Neil", "Dupont", "Rossi", "Müller", "García", "Nowak", "Smith, Jr.",
        "Andersson", "Van der Berg", "Kowalski", "Schmidt", "Yilmaz", "Martin", "Brown"]
FIRST = ["Anna", "Sean", "Marie", "Luca", "Jürgen", "Lucía", "Piotr", "John", "Eva", "Jan",
         "Olga", "Pierre", "Ayşe", "Noah", "Emma"]
STREETS = ["Main Street", "Harbour Road; Flat", "Rue de la Paix", "Via Roma", "Hauptstraße",
           "Calle Mayor", "Long Lane; Rear", "Market Square", "Kings Road", "Bahnhofstraße"]
CITIES = [("Berlin", "DE"), ("Dublin", "IE"), ("Paris", "FR"), ("Rome", "IT"), ("München", "DE"),
          ("Madrid", "ES"), ("Warsaw", "PL"), ("London", "GB"), ("Stockholm", "SE"),
          ("Amsterdam", "NL")]
NOTES = ["regular customer", "call before delivery; gate code 1234", "said \"hello\" twice; ok",
         "", "prefers e-mail", "invoice; monthly", "VIP", "moved, new address pending",
         "pays by card; no cash", "closed on \"Mondays\" only"]


def quoted(text):
    """A delimited field: quoted when it holds the separator or a quote character."""
    if ";" in text or '"' in text:
        return '"' + text.replace('"', '""') + '"'
    return text


def fixed(text, width):
    if len(text) > width:
        raise SystemExit(f"value too wide for its column: {text!r}")
    return text.ljust(width)


def schema(name, descr, uid, delimited):
    fields = []
    col = 1
    for fname, width, dt in FIELDS:
        pos = "" if delimited else f' so="{col}" ln="{width}"'
        fields.append(f'<{fname} descr="{fname}"{pos} dt="{dt}" />')
        col += width
    typ = 's" fs="&#59;" qo="&quot;' if delimited else "f"
    ext = "&#46;csv" if delimited else "&#46;txt"
    return ('<?xml version="1.0" encoding="UTF-8" standalone="yes" ?><dataschemas>'
            f'<schema name="{name}" descr="{descr}" fext="{ext}" type="{typ}" hs="0" fih="0" '
            f'cfe="1" uffd="1" fur="1" uid="&#123;{uid}&#125;" fgn=""><dataformats>'
            '<idtDate fmtstr="yyyy-mm-dd" /><idtFloat prec="2" decsep="&#46;" /></dataformats>'
            f'<fields>{"".join(fields)}</fields><subschemalinks></subschemalinks></schema>'
            '</dataschemas>')


def main():
    if len(sys.argv) < 3:
        raise SystemExit(__doc__)
    rows = int(sys.argv[1])
    out = sys.argv[2]
    variant = int(sys.argv[3]) if len(sys.argv) > 3 else 0
    rnd = random.Random(4711 + variant)
    widths = [w for _, w, _ in FIELDS]
    with open(f"{out}/people.csv", "w", encoding="utf-8", newline="\n") as csv, \
            open(f"{out}/people.txt", "w", encoding="utf-8", newline="\n") as fix:
        for i in range(rows):
            city, country = rnd.choice(CITIES)
            values = [
                str(100000 + i * 3),
                rnd.choice(LAST),
                rnd.choice(FIRST),
                f"{rnd.choice(STREETS)} {rnd.randint(1, 299)}",
                f"{rnd.randint(1000, 99999):05d}",
                city,
                country,
                f"{rnd.randint(1930, 2010)}-{rnd.randint(1, 12):02d}-{rnd.randint(1, 28):02d}",
                f"{rnd.randint(-9999999, 99999999) / 100:.2f}",
                rnd.choice(NOTES),
            ]
            csv.write(";".join(quoted(v) for v in values))
            csv.write("\n")
            fix.write("".join(fixed(v, w) for v, w in zip(values, widths)))
            fix.write("\n")
    with open(f"{out}/people_csv.tic", "w", encoding="utf-8") as f:
        f.write(schema("bench_people_csv", "Benchmark people (semicolon separated)",
                       "5B1F0C3E-7A2D-4E91-9C64-0D8A3F2B6E15", True))
    with open(f"{out}/people_fix.tic", "w", encoding="utf-8") as f:
        f.write(schema("bench_people_fix", "Benchmark people (fixed width)",
                       "9E3A6D72-1C4B-4F08-A5D9-6B2E7F1C3A84", False))


if __name__ == "__main__":
    main()

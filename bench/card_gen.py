#!/usr/bin/python3
"""Writes the contact file of bench/card_convert.sh.

card_gen.py CONTACTS FILE

vCard 3.0 contacts of the shape vela_bench_vcard generates: names, an organisation with an
escaped comma, two EMAIL, three TEL and two ADR lines, a birthday and a note with escaped commas,
semicolons and line breaks, folded at 75 characters.
"""

import sys


def main():
    count = int(sys.argv[1])
    note = "".join(
        "Notiz mit Komma\\, Semikolon\\; und Zeilenumbruch\\n Zeile %d " % i for i in range(6))
    with open(sys.argv[2], "w", encoding="utf-8", newline="") as out:
        for i in range(count):
            n = str(i)
            line = "NOTE:" + note + n
            folded = [line[:75]] + [" " + line[p:p + 74] for p in range(75, len(line), 74)]
            out.write(
                "BEGIN:VCARD\r\nVERSION:3.0\r\n"
                f"UID:contact-{n}\r\n"
                f"FN:Vorname{n} Nachname{n}\r\n"
                f"N:Nachname{n};Vorname{n};Zweit;Dr.;\r\n"
                f"ORG:Firma {n}\\, GmbH & Co. KG\r\n"
                f"EMAIL;TYPE=INTERNET,HOME:privat{n}@example.com\r\n"
                f"EMAIL;TYPE=INTERNET,WORK:arbeit{n}@example.com\r\n"
                f"TEL;TYPE=HOME,VOICE:+49 30 {n}\r\n"
                f"TEL;TYPE=WORK,VOICE:+49 40 {n}\r\n"
                f"TEL;TYPE=HOME,CELL,VOICE:+49 170 {n}\r\n"
                f"ADR;TYPE=HOME:;;Hauptstrasse {n};Berlin;;10115;Deutschland\r\n"
                f"ADR;TYPE=WORK:;Haus B;Industrieweg {n}\\, Tor 3;Hamburg;;20095;Deutschland\r\n"
                f"BDAY:19{50 + i % 50}-{1 + i % 12:02d}-{1 + i % 28:02d}\r\n"
                + "\r\n".join(folded) + "\r\nEND:VCARD\r\n")


if __name__ == "__main__":
    main()

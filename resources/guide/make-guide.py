#!/usr/bin/env python3
"""Writes the user guide as a Rich Text document, which word processors
open, under the ".doc" name the setup program copies.

usage: make-guide.py SOURCE OUT

SOURCE is the marked-up text of resources/guide/guide.txt.
"""
import sys


def rtf_text(text):
    """Escapes text for RTF; characters outside ASCII become \\uN?."""
    out = []
    for ch in text:
        code = ord(ch)
        if ch in '\\{}':
            out.append('\\' + ch)
        elif code < 128:
            out.append(ch)
        else:
            out.append('\\u%d?' % (code if code < 32768 else code - 65536))
    return ''.join(out)


def blocks(lines):
    """Yields (kind, english, text): kind is title, heading, para or item."""
    current = None
    for raw in lines:
        line = raw.rstrip('\n')
        if line.startswith('#'):
            continue
        if not line.strip():
            if current:
                yield current
            current = None
            continue
        english = line.startswith('> ')
        body = line[2:] if english else line
        if body.startswith('= '):
            kind, body = 'title', body[2:]
        elif body.startswith('== '):
            kind, body = 'heading', body[3:]
        elif body.startswith('- '):
            kind, body = 'item', body[2:]
        else:
            kind = 'para'
        continuation = (current is not None and kind == 'para' and current[0] == 'para'
                        and current[1] == english)
        if continuation:
            current = (current[0], current[1], current[2] + ' ' + body)
            continue
        if current:
            yield current
        current = (kind, english, body)
    if current:
        yield current


def render(source):
    out = [
        '{\\rtf1\\ansi\\ansicpg1252\\deff0',
        '{\\fonttbl{\\f0\\fswiss\\fcharset0 Arial;}}',
        '{\\colortbl;\\red0\\green0\\blue0;\\red20\\green50\\blue120;\\red90\\green90\\blue90;}',
        '{\\info{\\title Cara Penggunaan - Software Korvane}}',
        '\\paperw11906\\paperh16838\\margl1440\\margr1440\\margt1440\\margb1440',
        '\\f0\\fs22',
    ]
    for kind, english, text in blocks(source):
        body = rtf_text(text)
        colour = '\\cf3\\i' if english else '\\cf1'
        if kind == 'title':
            size = '\\fs28' if english else '\\fs40\\b'
            out.append('\\pard\\qc\\sa120%s%s %s\\par' % (size, colour, body))
        elif kind == 'heading':
            out.append('\\pard\\sb360\\sa120\\keepn\\fs28\\b\\cf2 %s\\par' % body)
        elif kind == 'item':
            out.append('\\pard\\fi-280\\li560\\sa60\\fs22\\b0%s \\bullet\\tab %s\\par' % (colour, body))
        else:
            out.append('\\pard\\sa120\\fs22\\b0%s %s\\par' % (colour, body))
        out.append('\\plain\\f0\\fs22')
    out.append('}')
    return '\r\n'.join(out) + '\r\n'


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    with open(sys.argv[1], encoding='utf-8') as f:
        document = render(f)
    with open(sys.argv[2], 'w', encoding='ascii', newline='') as f:
        f.write(document)


if __name__ == '__main__':
    main()

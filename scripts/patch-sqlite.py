#!/usr/bin/env python3
"""Turns a standard SQLite amalgamation into the program's database engine.

The program's files differ from standard SQLite files in two places only:

  * the 16-byte header magic is "ZELD DATABASE 3" plus a NUL;
  * a file with any other header is refused with "file is encrypted or is
    not a database";
  * the engine's reserved name prefix is "ZELDdb" instead of "sqlite"
    (ZELDdb_master, ZELDdb_sequence, ZELDdb_stat1, ZELDdb_autoindex_*,
    the ZELDdb_version() family of SQL functions, and the refusal of user
    objects whose names start with "ZELDdb_").

Both replacements keep every length, so the engine's offset arithmetic
(zName+7, strnicmp(..., 7), substr(name, n+18)) stays valid.

The script edits only C string literals and the SQL function tables. It
checks that every pattern it relies on is present before it writes, and
that no lower-case "sqlite_" name is left in any string literal after, so a
newer source can never produce a half-patched engine: any surprise stops the
build with a message.

usage: patch-sqlite.py amalgamation  sqlite3.c  out.c
       patch-sqlite.py shell         shell.c    out.c
"""
import re
import sys

MAGIC_OLD = '"SQLite format 3"'
MAGIC_NEW = '"ZELD DATABASE 3"'
# The program's files answer a foreign header with the engine's older text.
NOTADB_OLD = '"file is not a database"'
NOTADB_NEW = '"file is encrypted or is not a database"'
PREFIX_OLD = "sqlite"
PREFIX_NEW = "ZELDdb"

# Patterns the engine must contain. Each is a literal (with its quotes) or a
# piece of code, and the least number of times it must occur.
REQUIRED_AMALGAMATION = [
    ('"SQLite format 3"', 1),                 # SQLITE_FILE_HEADER
    ('"sqlite_master"', 1),                   # LEGACY_SCHEMA_TABLE
    ('"sqlite_temp_master"', 1),              # LEGACY_TEMP_SCHEMA_TABLE
    ('"sqlite_schema"', 1),                   # PREFERRED_SCHEMA_TABLE
    ('"sqlite_temp_schema"', 1),              # PREFERRED_TEMP_SCHEMA_TABLE
    ('"sqlite_sequence"', 1),
    ('"CREATE TABLE %Q.sqlite_sequence(name,seq)"', 1),
    ('"sqlite_stat1"', 1),
    ('"sqlite_autoindex_%s_%d"', 1),
    ('"sqlite_autoindex_"', 1),
    ('"sqlite_"', 1),                         # reserved-name checks
    ("'sqliteX_%%' ESCAPE 'X'", 1),           # ALTER and VACUUM filters
    ("DFUNCTION(sqlite_version,", 1),
    ("DFUNCTION(sqlite_source_id,", 1),
    ("DFUNCTION(sqlite_compileoption_used,", 1),
    ("DFUNCTION(sqlite_compileoption_get,", 1),
    ("INTERNAL_FUNCTION(sqlite_rename_table,", 1),
    ('"object name reserved for internal use: %s"', 1),
    ('/* SQLITE_NOTADB      */ "file is not a database",', 1),
]
REQUIRED_SHELL = [
    ('"sqlite_schema"', 1),
]

# After patching, a lower-case "sqlite" followed by "_", "X_" or "\\_" may
# stand in no string literal; header names of #include lines are no names.
LEFTOVER = re.compile(r'sqlite(?=_|X_|\\\\_)')
FUNCTION_TABLE = re.compile(r'\b(\w*FUNC\w*\(\s*)sqlite_')


def fail(msg):
    sys.stderr.write("patch-sqlite: %s\n" % msg)
    sys.exit(1)


def split_literals(src):
    """Yields (is_literal, text) pieces of C source: string literals (with
    their quotes) and everything else. Character constants, comments and
    preprocessor lines other than #include pass through as code."""
    out = []
    i = 0
    n = len(src)
    start = 0
    while i < n:
        c = src[i]
        if c == '/' and i + 1 < n and src[i + 1] == '*':
            j = src.find('*/', i + 2)
            if j < 0:
                fail("unterminated comment")
            i = j + 2
            continue
        if c == '/' and i + 1 < n and src[i + 1] == '/':
            j = src.find('\n', i)
            i = n if j < 0 else j
            continue
        if c == "'" or c == '"':
            j = i + 1
            while j < n and src[j] != c:
                if src[j] == '\n' and c == "'":
                    break            # an apostrophe in an #error text
                j += 2 if src[j] == '\\' else 1
            if j >= n or src[j] != c:
                i += 1
                continue
            if c == '"':
                out.append((False, src[start:i]))
                out.append((True, src[i:j + 1]))
                start = j + 1
            i = j + 1
            continue
        i += 1
    out.append((False, src[start:]))
    return out


def is_include(code_before):
    line = code_before[code_before.rfind('\n') + 1:]
    return re.match(r'\s*#\s*include\s*$', line) is not None


def patch(src, required):
    for pattern, least in required:
        found = src.count(pattern)
        if found < least:
            fail("expected pattern %r at least %d time(s), found %d: "
                 "this source is not the one the patch was written for"
                 % (pattern, least, found))

    pieces = split_literals(src)
    result = []
    literals_changed = 0
    for k, (is_lit, text) in enumerate(pieces):
        if not is_lit:
            # The engine hashes built-in function names by their lower-case
            # first letter, so the tables must hold them in lower case; SQL
            # names are case-insensitive, ZELDdb_version() finds them.
            text, nfunc = FUNCTION_TABLE.subn(r'\1' + PREFIX_NEW.lower() + '_', text)
            literals_changed += nfunc
            result.append(text)
            continue
        if k > 0 and is_include(pieces[k - 1][1]):
            result.append(text)
            continue
        if text == MAGIC_OLD:
            text = MAGIC_NEW
            literals_changed += 1
        elif text == NOTADB_OLD and required is REQUIRED_AMALGAMATION:
            text = NOTADB_NEW
            literals_changed += 1
        new = LEFTOVER.sub(PREFIX_NEW, text)
        if new != text:
            literals_changed += 1
        result.append(new)
    out = ''.join(result)

    # Verify: nothing of the old prefix is left where names live.
    checked = split_literals(out)
    for k, (is_lit, text) in enumerate(checked):
        if is_lit and k > 0 and is_include(checked[k - 1][1]):
            continue
        if is_lit and LEFTOVER.search(text):
            fail("literal still holds the standard prefix: %s" % text[:80])
        if is_lit and text == MAGIC_OLD:
            fail("standard header magic still present")
        if not is_lit and FUNCTION_TABLE.search(text):
            fail("SQL function table still names a standard function")
    return out, literals_changed


def main():
    if len(sys.argv) != 4 or sys.argv[1] not in ("amalgamation", "shell"):
        fail("usage: patch-sqlite.py amalgamation|shell IN OUT")
    kind, src_path, out_path = sys.argv[1:]
    with open(src_path, encoding='latin-1') as f:
        src = f.read()
    required = REQUIRED_AMALGAMATION if kind == "amalgamation" else REQUIRED_SHELL
    out, changed = patch(src, required)
    if kind == "amalgamation" and MAGIC_NEW not in out:
        fail("program header magic missing after the patch")
    with open(out_path, 'w', encoding='latin-1') as f:
        f.write(out)
    print("patch-sqlite: %s: %d places changed" % (kind, changed))


if __name__ == '__main__':
    main()

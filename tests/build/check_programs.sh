#!/usr/bin/env bash
# The shipped programs are plain 32-bit Windows GUI programs, stripped of
# debug sections, that need no DLL but Windows' own: nothing is to be copied
# beside them. The main program is marked large-address-aware: it maps the
# whole data book into its address space.
# usage: check_programs.sh PROGRAM.exe...
set -u
allowed='^(ADVAPI32|BCRYPT|COMCTL32|COMDLG32|CRYPT32|GDI32|IPHLPAPI|KERNEL32|MSVCRT|NTDLL|OLE32|SECUR32|SHELL32|USER32|WINMM|WS2_32)\.DLL$'
status=0
for exe in "$@"; do
  name=$(basename "$exe")
  bad=0
  info=$(i686-w64-mingw32-objdump -p "$exe") || { echo "$name: not readable"; status=1; continue; }
  grep -q 'file format pei-i386' <<<"$info" || { echo "$name: not a 32-bit PE program"; bad=1; }
  grep -Eq '^Subsystem[[:space:]]+0+2[[:space:]]' <<<"$info" || { echo "$name: not a Windows GUI program"; bad=1; }
  while read -r dll; do
    if ! grep -Eq "$allowed" <<<"${dll^^}"; then
      echo "$name: needs $dll, which Windows does not have"
      bad=1
    fi
  done < <(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$info")
  if [ "$name" = Korvane.exe ] && ! grep -q '^[[:space:]]*large address aware$' <<<"$info"; then
    echo "$name: not marked large-address-aware"
    bad=1
  fi
  debug=$(i686-w64-mingw32-objdump -h "$exe" | awk '$2 ~ /^\.debug/ {print $2}' | tr '\n' ' ')
  [ -z "$debug" ] || { echo "$name: carries debug sections: $debug"; bad=1; }
  if [ $bad -eq 0 ]; then
    echo "$name: plain 32-bit GUI program, no debug sections, Windows DLLs only$([ "$name" = Korvane.exe ] && echo ', large-address-aware') ($(stat -c %s "$exe") bytes)"
  else
    status=1
  fi
done
exit $status

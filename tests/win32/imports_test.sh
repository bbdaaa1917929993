#!/bin/sh
# Every shipped .exe runs on a bare Windows: it imports system DLLs only (no
# run-time DLLs of the compiler), TAV.exe may use more than 2 GiB and
# does without user32.dll, and Druvel.exe hands no text to the system in
# the ANSI code page: none of the "...A" functions of windows, drops and
# dialogs, nor those of files, folders and processes (the compiler's run
# time keeps a few of its own, such as CreateEventA).
#   imports_test.sh OBJDUMP PROGRAM...
set -eu
objdump=$1
shift
system="advapi32.dll comctl32.dll comdlg32.dll gdi32.dll kernel32.dll msvcrt.dll ntdll.dll shell32.dll user32.dll"
for program in "$@"; do
  for dll in $("$objdump" -p "$program" | sed -n 's/^\tDLL Name: //p' | tr 'A-Z' 'a-z'); do
    case " $system " in *" $dll "*) ;; *) echo "FAIL: $(basename "$program") imports $dll"; exit 1 ;; esac
  done
  case $(basename "$program") in
    TAV.exe)
      "$objdump" -p "$program" | grep -q "large address aware" || { echo "FAIL: TAV.exe is not large-address aware"; exit 1; }
      # Loading user32.dll would slow every run's start; only the notice window loads it.
      if "$objdump" -p "$program" | grep -qi "DLL Name: user32.dll"; then echo "FAIL: TAV.exe imports user32.dll"; exit 1; fi ;;
    Druvel.exe)
      ansi=$("$objdump" -p "$program" | awk '/DLL Name:/ { dll = tolower($3) } NF == 3 && $3 ~ /A$/ { print dll, $3 }' |
             grep -E '^(user32|shell32|comdlg32)\.dll |(File|Directory|Process|PathName)[A-Za-z]*A$' || true)
      [ -z "$ansi" ] || { echo "FAIL: Druvel.exe imports ANSI functions:"; echo "$ansi"; exit 1; } ;;
  esac
done
echo "imports: system DLLs only"

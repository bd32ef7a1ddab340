#!/bin/sh
# check-imports.sh OBJDUMP FILE...
# Fails when a binary imports a DLL that Windows does not ship: the program
# must run from its folder without the MinGW runtime (libstdc++, libgcc,
# libwinpthread).
objdump=$1
shift
status=0
for f in "$@"; do
    dlls=$("$objdump" -p "$f" | sed -n 's/^[[:space:]]*DLL Name: //p')
    if [ -z "$dlls" ]; then
        echo "$f: no imports found (not a PE file?)"
        status=1
        continue
    fi
    for dll in $dlls; do
        case $(echo "$dll" | tr 'A-Z' 'a-z') in
            kernel32.dll|user32.dll|gdi32.dll|comctl32.dll|comdlg32.dll|advapi32.dll|\
            shell32.dll|ws2_32.dll|wininet.dll|msvcrt.dll|ole32.dll|api-ms-win-*) ;;
            *) echo "$f: imports $dll"; status=1 ;;
        esac
    done
    echo "$f: $(echo $dlls)"
done
exit $status

#!/usr/bin/env bash
# Writes the expected result files of the code page tests, once, with the C
# library's iconv (not with the program's own conversion). Each sample name is
# in the script of its code page; "?" stands where the test's name holds a
# character the code page lacks (a Chinese one in every name).
set -euo pipefail
cd "$(dirname "$0")"

write() { # code page, sample name as the file holds it, degree sign
    local cp=$1 name=$2 degree=$3
    printf 'Sample: %s\r\nNumber of frames per second    (x-axis): 12,5\r\nNumber of ticks per angle 360%s (y-axis): 360\r\n\r\n     x-axis              y-axis\r\n     0,08000             0,00000\r\n     0,16000            90,00000\r\n     0,24000           -45,00000\r\n\f\r\n' \
        "$name" "$degree" | iconv -f UTF-8 -t "CP$cp" >"cp$cp.txt"
}

write 1250 'Zkouška ř – Próba ł ?' '°'
write 1251 'Проба №5 ?' '°'
write 1252 'Échantillon ß € ?' '°'
write 1253 'Δοκιμή ?' '°'
write 1254 'Deneme ğış ?' '°'
write 1255 'דגימה ?' '°'
write 1256 'عيّنة ?' '°'
write 1257 'Bandinys ąčė ?' '°'
write 1258 'Mẫu thử ?' '°'
write 874 'ตัวอย่าง ?' '?'

# Writes INPUT's bytes as a C array `clean_pdf` into the header OUTPUT.
file(READ ${INPUT} hex HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
file(WRITE ${OUTPUT} "static const unsigned char clean_pdf[] = {${bytes}};\n")

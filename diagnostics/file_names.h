#pragma once

// File names on Linux are bytes. Qt reads them through the locale's codec, whose UTF-8 turns
// every byte that is no valid UTF-8 into U+FFFD, so such a file cannot be opened again by the
// name Qt gives it (and a folder listing leaves it out). This replaces that codec, once per
// process, by UTF-8 that reads such a byte b as the lone surrogate U+DC00 + b and writes that
// back as b, so that QFile::decodeName and QFile::encodeName give back every name's bytes.
// Valid UTF-8 reads as before. Nothing changes where the locale's codec is not UTF-8 (Windows
// names files in UTF-16).
void keepFileNamesWhole();

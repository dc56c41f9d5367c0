// The user's choices that change what conversions and writers produce
// (OutputOptions, one of the library's public option records). They come in
// as values with every call; only the application reads them from the stored
// settings (or from the command line).
#pragma once

#include <rastra/options.h>

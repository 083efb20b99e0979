// The errors that readers of untrusted files and the converters' option
// routines raise, named for what was wrong. Each is a thin helper over the
// operating-system error code it has always carried, so the code and the
// message (OSErrorMessage) stay exactly as they were.
#pragma once

#include "shell/noxShellBaseExtension.h"

// Reading a file ------------------------------------------------------------

// The data end before what the format needs.
[[noreturn]] inline void RaiseTruncatedData() { RaiseOSError(ERROR_INVALID_PARAMETER); }
// A header field outside what the format allows.
[[noreturn]] inline void RaiseBadHeader() { RaiseOSError(ERROR_INVALID_PARAMETER); }
// A size, a count or an offset that does not fit the format or the data.
[[noreturn]] inline void RaiseSizeOutOfRange() { RaiseOSError(ERROR_INVALID_PARAMETER); }
// Data that do not fit the screen of their mode: packed data that go on
// after the screen is full, or a mode that the data cannot hold.
[[noreturn]] inline void RaiseScreenMismatch() { RaiseOSError(ERROR_INVALID_PASSWORD); }
// Packed data that cannot be unpacked.
[[noreturn]] inline void RaiseCorruptData() { RaiseOSError(ERROR_INVALID_DATA); }

// Converting ----------------------------------------------------------------

// A palette kind, palette mode, screen mode or colour count that the routine
// does not handle.
[[noreturn]] inline void RaiseUnsupportedOption() { RaiseOSError(ERROR_INVALID_PARAMETER); }
// A palette kind or palette mode refused by the palette routines that carry
// their own code for it.
[[noreturn]] inline void RaiseUnsupportedPalette() { RaiseOSError(ERROR_INVALID_PASSWORD); }

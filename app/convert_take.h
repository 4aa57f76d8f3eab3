// The converter's command for takes (recordings of a learner playing): judged against a lesson,
// or written as a record. Its own arguments; convert.cpp hands a command line over to it when
// its first file is a sound file.
#pragma once

#include <optional>

/// The exit code of the take command when `argv` names a take (a .wav, .flac or .ogg file) as
/// its first file; nothing when it does not (the other commands are convert.cpp's).
std::optional<int> convertTake(int argc, char** argv);

/// The take command's lines of the converter's usage text.
extern const char* const kTakeUsageText;

#pragma once
// The texts of stream titles: metadata as stations send it ("StreamTitle='...';StreamUrl='...';", in UTF-8 or,
// from many older stations, in Latin-1 / Windows-1252) turned into a title, and the cue sheet lines of a title.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Appends the code point iCode (at most 0x10FFFF) in UTF-8.
void AppendUTF8(std::string& ioText, uint32_t iCode);
// iText itself when it is valid UTF-8, else iText read as Windows-1252, so the result is always valid UTF-8.
std::string MetadataToUTF8(const std::string& iText);
// iText (valid UTF-8) as one line: control characters (C0, DEL, C1; line breaks and tabs among them) become
// spaces, runs of spaces one, and none lead or trail. What a station sends reaches a cue sheet or the log only so.
std::string FlattenedTitle(const std::string& iText);
// The title of a metadata text (group 1 of "StreamTitle='(.*?)';", possibly empty) in UTF-8, flattened; nothing
// when the text is empty or has no StreamTitle entry.
std::optional<std::string> StreamTitleFromMetadata(const std::string& iMetadata);
// The three lines of track iTrack of a cue sheet: TRACK, TITLE (each " of the title written as '' so that the
// title stays one field) and INDEX at iOffset milliseconds after the file began (75 frames per second, minutes not
// limited; a negative offset counts as 0).
std::vector<std::string> CueSheetTrackLines(int iTrack, const std::string& iTitle, int64_t iOffsetMilliseconds);

// Rich text (RTF) read into a QTextDocument, for the help viewer: paragraphs,
// bold, italic, underline, font sizes, the colour table and alignment; text
// in code page 936 (\'hh pairs), \uN characters, groups and the
// destinations a viewer does not show. Malformed input never throws: what
// can be read is shown.
#pragma once
#include <cstddef>
#include <string>

class QTextDocument;
class QTextEdit;

namespace platform {

// Replaces the document's content with the RTF text of rtf. False (and an
// empty document) when the bytes are not RTF at all.
bool ReadRtf(const std::string& rtf, QTextDocument* document);

// The largest file LoadRtfFile reads in.
constexpr std::size_t kMaxRtfFileBytes = std::size_t{16} << 20;

// Loads the RTF file into the text box. The file is read through the file
// layer: what is no regular file (a FIFO, a device, also through a link) is
// never waited on nor read, and nothing past kMaxRtfFileBytes is read. A
// missing, unreadable, too large or non-RTF file leaves the box empty and
// gives false; for one that is there but cannot be read or is too large,
// whyNot (when given) gets a sentence for the user naming the file and the
// reason, and is emptied otherwise.
bool LoadRtfFile(const std::string& path, QTextEdit* edit, std::string* whyNot = nullptr);

}  // namespace platform

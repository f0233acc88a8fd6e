// Rich text (RTF) read into a QTextDocument, for the help viewer: paragraphs,
// bold, italic, underline, font sizes, the colour table and alignment; text
// in code page 936 (\'hh pairs), \uN characters, groups and the
// destinations a viewer does not show. Malformed input never throws: what
// can be read is shown.
#pragma once
#include <string>

class QTextDocument;
class QTextEdit;

namespace platform {

// Replaces the document's content with the RTF text of rtf. False (and an
// empty document) when the bytes are not RTF at all.
bool ReadRtf(const std::string& rtf, QTextDocument* document);

// Loads the RTF file into the text box; a missing, unreadable or non-RTF file
// leaves the box empty and gives false.
bool LoadRtfFile(const std::string& path, QTextEdit* edit);

}  // namespace platform

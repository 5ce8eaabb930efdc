#pragma once

#include <QByteArray>
#include <QString>

// Replaces a file only once its new contents are safely on disk: the bytes go to a temporary
// file beside the target, every write's length is checked, the data is flushed and synced,
// and only then is the temporary file renamed over the target. On any failure the temporary
// file is dropped and the old file stays exactly as it was, so a full disk can never shorten
// or empty a user's file.
namespace SafeSave {

// Returns false when the file could not be replaced; the old file is then untouched.
bool tryWrite(const QString &fileName, const QByteArray &bytes);

// As tryWrite, but a failure raises SkylarkError "Unable to write to <file>".
void write(const QString &fileName, const QByteArray &bytes);

} // namespace SafeSave

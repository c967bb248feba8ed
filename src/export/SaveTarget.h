#pragma once

#include "FileOutput.h"

#include <QString>

#include <memory>

namespace brinmoor::exports {

// How a file the user named is written, decided before anything is written:
// an atomic save renames a new file over the old one, which must never
// happen to a device, a pipe or a folder.
struct SaveTarget
{
    enum class Kind {
        // A regular file, or none yet: a new file replaces it at path.
        Replace,
        // A character device or a pipe: written in place, as a shell's
        // redirection writes it.
        WriteThrough,
        // Anything else (a folder, a socket, a block device): not written.
        Refuse,
    };
    Kind kind;
    // Replace: the file to replace (a link's target, the link kept);
    // WriteThrough: the device; Refuse: why not, for the user (the
    // path not included).
    QString pathOrReason;
};

SaveTarget chooseSaveTarget(const QString &path);

// Opens a WriteThrough target for writing in place, unbuffered, so that a
// device's refusal shows at the write it refuses. A pipe that no program
// reads is refused at once instead of waited on; one whose reader is slow is
// waited on in a way that stop can end. reason says why on null.
std::unique_ptr<DescriptorDevice> openInPlace(const QString &path, std::shared_ptr<WriteStop> stop,
                                              QString &reason);

} // namespace brinmoor::exports

#pragma once
// -r: the image files below a folder, for the batch to take in.

#include <string>
#include <sys/types.h>
#include <vector>

namespace cli {

// A file to process, and where its result goes.
struct InputFile {
    std::string path; // bytes, as named or found; "-" for standard input
    std::string subfolder; // below the output folder ("sub/deeper"), empty for the folder itself
    std::string problem; // why it cannot be taken (a folder that cannot be read); empty when fine
};

// A folder the walk leaves out (the output folder, when it lies inside).
struct FolderIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    bool known = false;
};

// Appends the image files below `root` to `files`, in the order of their
// sorted names (bytes), each folder's files and subfolders together. Hidden
// entries (a name starting with '.'), symbolic links and anything that is
// neither a file nor a folder are skipped, as is `leaveOut`; a file counts as
// an image by its extension or, failing that, by its first bytes.
void WalkFolder(const std::string& root, const FolderIdentity& leaveOut, std::vector<InputFile>& files);

// Whether a file's name or first bytes say it is an image the tool reads.
bool HasImageExtension(const std::string& name);
bool StartsLikeImage(const unsigned char* head, std::size_t size);

} // namespace cli

#include "folder_walk.h"

#include <QByteArray>
#include <QImageReader>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <set>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace cli {
namespace {

std::string Joined(const std::string& folder, const std::string& name)
{
    if (folder.empty()) return name;
    return folder.back() == '/' ? folder + name : folder + '/' + name;
}

bool IsImage(int folder, const char* name)
{
    if (HasImageExtension(name)) return true;
    const int fd = ::openat(folder, name, O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return false;
    unsigned char head[12];
    const ssize_t got = ::read(fd, head, sizeof head);
    ::close(fd);
    return got > 0 && StartsLikeImage(head, static_cast<std::size_t>(got));
}

class Walk {
public:
    Walk(const std::string& root, const FolderIdentity& leaveOut, std::vector<InputFile>& files)
        : root_(root), leaveOut_(leaveOut), files_(files)
    {
    }

    void folder(const std::string& subfolder)
    {
        const std::string path = Joined(root_, subfolder);
        // The root is followed as named; a folder met inside never is.
        const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | (subfolder.empty() ? 0 : O_NOFOLLOW));
        struct stat self { };
        if (fd < 0 || ::fstat(fd, &self) != 0) {
            files_.push_back({path, subfolder, std::string("cannot read the folder: ") + std::strerror(errno)});
            if (fd >= 0) ::close(fd);
            return;
        }
        // A folder mounted inside itself would be walked forever.
        const std::pair<dev_t, ino_t> identity{self.st_dev, self.st_ino};
        if (!ancestors_.insert(identity).second) {
            ::close(fd);
            return;
        }
        DIR* listing = ::fdopendir(fd);
        if (!listing) {
            ::close(fd);
            return;
        }
        std::vector<std::pair<std::string, bool>> entries; // name, is a folder
        while (const dirent* entry = ::readdir(listing)) {
            const char* name = entry->d_name;
            if (name[0] == '.') continue; // hidden, "." and ".."
            struct stat info { };
            if (::fstatat(fd, name, &info, AT_SYMLINK_NOFOLLOW) != 0) continue;
            if (S_ISDIR(info.st_mode)) {
                if (!(leaveOut_.known && info.st_dev == leaveOut_.device && info.st_ino == leaveOut_.inode))
                    entries.emplace_back(name, true);
            } else if (S_ISREG(info.st_mode) && IsImage(fd, name)) {
                entries.emplace_back(name, false);
            }
        }
        ::closedir(listing);
        std::sort(entries.begin(), entries.end());
        for (const auto& [name, isFolder] : entries) {
            if (isFolder)
                folder(Joined(subfolder, name));
            else
                files_.push_back({Joined(path, name), subfolder, {}});
        }
        ancestors_.erase(identity);
    }

private:
    const std::string& root_;
    const FolderIdentity& leaveOut_;
    std::vector<InputFile>& files_;
    std::set<std::pair<dev_t, ino_t>> ancestors_;
};

} // namespace

void WalkFolder(const std::string& root, const FolderIdentity& leaveOut, std::vector<InputFile>& files)
{
    Walk(root, leaveOut, files).folder({});
}

bool HasImageExtension(const std::string& name)
{
    const auto dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0) return false;
    static const QList<QByteArray> formats = [] {
        QList<QByteArray> known = QImageReader::supportedImageFormats();
        for (const char* alias : {"jpg", "jpeg", "jpe", "jfif", "png", "tif", "tiff", "bmp", "gif", "webp"})
            known.append(alias);
        return known;
    }();
    return formats.contains(QByteArray::fromStdString(name.substr(dot + 1)).toLower());
}

bool StartsLikeImage(const unsigned char* head, std::size_t size)
{
    const auto starts = [&](const char* signature, std::size_t length, std::size_t at = 0) {
        return size >= at + length && std::memcmp(head + at, signature, length) == 0;
    };
    return starts("\x89PNG\r\n\x1a\n", 8) || starts("\xFF\xD8\xFF", 3) || starts("GIF87a", 6) || starts("GIF89a", 6)
        || starts("BM", 2) || starts("II*\0", 4) || starts("MM\0*", 4) || (starts("RIFF", 4) && starts("WEBP", 4, 8));
}

} // namespace cli

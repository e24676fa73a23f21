#include "WorkbookFile.h"

#include "Exception.h"
#include "XlsxWriter.h"

#include <QDir>
#include <QRandomGenerator>
#include <QString>

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

[[noreturn]] void FailErrno(const std::string& path, int error) {
    throw EOSError(path + ": " + std::strerror(error));
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A temporary file beside `target`, created empty with the usual permissions
// (0666 less the umask) so the renamed result is like any new file.
class TemporaryFile {
public:
    explicit TemporaryFile(const std::string& target) {
        const std::string folder = FolderOf(target);
        for (int attempt = 0; attempt < 100; ++attempt) {
            char suffix[32];
            std::snprintf(suffix, sizeof suffix, ".%08x.tmp",
                          QRandomGenerator::global()->generate());
            std::string candidate = folder + "/." + NameOf(target) + suffix;
            const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd >= 0) {
                ::close(fd);
                path_ = std::move(candidate);
                return;
            }
            if (errno != EEXIST) {
                FailErrno(target, errno);
            }
        }
        FailErrno(target, EEXIST);
    }
    ~TemporaryFile() {
        if (!path_.empty()) {
            ::unlink(path_.c_str());
        }
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    const std::string& Path() const { return path_; }
    // The file now has its final name and is no longer removed.
    void Release() { path_.clear(); }

private:
    std::string path_;
};

// Puts what libxlsxwriter wrote on the disk before the rename makes it
// visible under the final name.
void Sync(const std::string& path, const std::string& target) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        FailErrno(target, errno);
    }
    const int result = ::fsync(fd);
    const int error = errno;
    ::close(fd);
    if (result != 0) {
        FailErrno(target, error);
    }
}

// Renames without replacing: false when `to` exists. File systems without
// RENAME_NOREPLACE get a hard link and an unlink, which fail the same way.
bool RenameNoReplace(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno == EEXIST) {
        return false;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        FailErrno(to, errno);
    }
    if (::link(from.c_str(), to.c_str()) != 0) {
        if (errno == EEXIST) {
            return false;
        }
        FailErrno(to, errno);
    }
    ::unlink(from.c_str());
    return true;
}

}  // namespace

void WriteWorkbookFile(const ExcelWorkbook& book, const std::string& path) {
    WriteThroughTemporaryFile(
        path, [&](const std::string& temporary) { WriteXlsx(book, temporary, path); });
}

void WriteThroughTemporaryFile(const std::string& path,
                               const std::function<void(const std::string& temporary)>& write) {
    TemporaryFile temporary(path);
    write(temporary.Path());
    Sync(temporary.Path(), path);
    if (::rename(temporary.Path().c_str(), path.c_str()) != 0) {
        FailErrno(path, errno);
    }
    temporary.Release();
}

std::string WriteNewWorkbookFile(const ExcelWorkbook& book, const std::string& folder,
                                 const std::string& name) {
    if (!QDir().mkpath(QString::fromStdString(folder))) {
        throw EOSError(folder + ": cannot create the folder");
    }
    const size_t dot = name.rfind('.');
    const std::string base = dot == std::string::npos ? name : name.substr(0, dot);
    const std::string extension = dot == std::string::npos ? std::string() : name.substr(dot);
    const std::string first = folder + "/" + name;
    TemporaryFile temporary(first);
    WriteXlsx(book, temporary.Path(), first);
    Sync(temporary.Path(), first);
    for (int counter = 1; counter <= 9999; ++counter) {
        const std::string candidate =
            counter == 1 ? first : folder + "/" + base + "_" + std::to_string(counter) + extension;
        if (RenameNoReplace(temporary.Path(), candidate)) {
            temporary.Release();
            return candidate;
        }
    }
    FailErrno(first, EEXIST);
}

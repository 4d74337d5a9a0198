// Whole-file replacement through a temporary file, and the hooks the tests
// fail its writes with.
#include "data/replacefile.h"

#ifdef _WIN32
#include <windows.h> // Required for: MoveFileExA()
#endif

#include <cerrno>
#include <filesystem>
#include <string>

namespace fs = std::filesystem;

int dataReadOnly;
DataWriteHooks dataWriteHooks;

int dataRenameOver(const char *from, const char *to)
{
#ifdef _WIN32
    if (MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return 0;
    errno = GetLastError() == ERROR_ACCESS_DENIED ? EACCES : EIO;
    return -1;
#else
    return rename(from, to);
#endif
}

int dataReplaceFile(const char *path, bool (*write)(FILE *file, void *context), void *context)
{
    // A bench measures and leaves the asset tree as it found it; the callers
    // only cache or pack, so a skipped write is not their failure.
    if (dataReadOnly)
        return 1;
    const DataWriteHooks hooks = dataWriteHooks;
    // A symbolic link is written through: the new file replaces its target,
    // beside which it is written, and the link stays a link.
    std::error_code error;
    fs::path target = path;
    if (fs::is_symlink(target, error)) {
        fs::path resolved = fs::weakly_canonical(target, error);
        if (!error)
            target = resolved;
    }
    // A file nobody may write stays as it is; one that may be written keeps
    // its permission bits.
    fs::file_status status = fs::status(target, error);
    const bool existed = !error && fs::exists(status);
    const fs::perms writable = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    if (existed && (status.permissions() & writable) == fs::perms::none)
        return 0;
    std::string temporary = target.string() + ".part";
    FILE *file = hooks.fails && hooks.fails() ? nullptr : fopen(temporary.c_str(), "wb");
    if (file && hooks.stream)
        file = hooks.stream(file);
    if (!file)
        return 0;
    bool ok = write(file, context);
    ok = fflush(file) == 0 && ok;
    ok = !ferror(file) && ok;
    ok = fclose(file) == 0 && ok;
    if (ok && existed)
        fs::permissions(temporary, status.permissions(), error); // best effort: the bytes matter more
    if (ok && !(hooks.fails && hooks.fails()) && dataRenameOver(temporary.c_str(), target.string().c_str()) == 0)
        return 1;
    remove(temporary.c_str());
    return 0;
}

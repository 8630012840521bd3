#include "picture/PictureCache.h"

#include <QFile>
#include <sys/stat.h>

FileIdentity fileIdentity(const QString& path) {
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0 || !S_ISREG(info.st_mode))
        return {};
    return FileIdentity{true, qint64(info.st_size),
                        qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec,
                        quint64(info.st_ino)};
}

void PictureCache::insert(const QString& path, const FileIdentity& identity,
                          const DecodedPicture& picture) {
    for (auto it = entries_.begin(); it != entries_.end(); ++it)
        if (it->path == path) {
            remove(it);
            break;
        }
    const qint64 bytes = picture.image.sizeInBytes();
    if (picture.image.isNull() || bytes > capacity_)
        return;
    while (!entries_.empty() && cost_ + bytes > capacity_)
        remove(std::prev(entries_.end()));
    entries_.push_front(Entry{path, identity, picture});
    cost_ += bytes;
}

std::optional<DecodedPicture> PictureCache::find(const QString& path,
                                                 const FileIdentity& identity) {
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
        if (it->path != path)
            continue;
        if (it->identity != identity || !identity.exists) {
            remove(it);
            return std::nullopt;
        }
        entries_.splice(entries_.begin(), entries_, it);
        return entries_.front().picture;
    }
    return std::nullopt;
}

void PictureCache::drop(const QString& path) {
    for (auto entry = entries_.begin(); entry != entries_.end(); ++entry) {
        if (entry->path == path) {
            remove(entry);
            return;
        }
    }
}

void PictureCache::clear() {
    entries_.clear();
    cost_ = 0;
}

void PictureCache::remove(std::list<Entry>::iterator entry) {
    cost_ -= entry->picture.image.sizeInBytes();
    entries_.erase(entry);
}

#pragma once

#include "picture/DecodedPicture.h"

#include <QString>
#include <QtGlobal>
#include <list>
#include <optional>

// What tells one version of a file from another: a file replaced or
// rewritten under the same name changes at least one of these.
struct FileIdentity {
    bool exists = false;
    qint64 size = 0;
    qint64 modifiedNs = 0;
    quint64 inode = 0;
    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

// Reads path's identity now; any thread may call it.
FileIdentity fileIdentity(const QString& path);

// Decoded pictures kept for the show's next steps, keyed by path and file
// identity and costed in bytes. Only successes are kept, so a failing file
// is decoded again at every try. Owned and used by the event thread only.
class PictureCache {
public:
    explicit PictureCache(qint64 capacityBytes)
        : capacity_(capacityBytes) {}

    // Room for about four pictures of the decode bound.
    static qint64 capacityFor(QSize bound) {
        return 4 * qint64(bound.width()) * bound.height() * 4;
    }

    // Keeps picture, dropping the least recently used ones beyond the
    // capacity; a picture larger than the whole capacity is not kept.
    void insert(const QString& path, const FileIdentity& identity, const DecodedPicture& picture);
    // The picture for path if it was decoded from the file as it is now;
    // an entry of an older version is dropped.
    std::optional<DecodedPicture> find(const QString& path, const FileIdentity& identity);
    // Drops path's picture, of whatever version.
    void drop(const QString& path);
    void clear();

    qint64 cost() const { return cost_; }
    qint64 capacity() const { return capacity_; }
    int count() const { return static_cast<int>(entries_.size()); }

private:
    struct Entry {
        QString path;
        FileIdentity identity;
        DecodedPicture picture;
    };
    void remove(std::list<Entry>::iterator entry);

    qint64 capacity_;
    qint64 cost_ = 0;
    // Most recently used first.
    std::list<Entry> entries_;
};

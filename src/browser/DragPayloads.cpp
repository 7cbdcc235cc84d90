#include "browser/DragPayloads.h"

#include "database/DbAddress.h"

#include <QDir>
#include <QMimeData>
#include <QtEndian>

namespace
{
void PutLong(QByteArray& bytes, int offset, qint32 value)
{
    qToLittleEndian<qint32>(value, bytes.data() + offset);
}

qint32 GetLong(const QByteArray& bytes, int offset)
{
    return qFromLittleEndian<qint32>(bytes.constData() + offset);
}

// Writes path NUL-terminated into the field at offset; true when the whole path fitted.
bool PutPath(QByteArray& bytes, int offset, int fieldBytes, const QByteArray& path)
{
    const bool fits = path.size() < fieldBytes && !path.contains('\0');
    if (fits)
    {
        std::copy(path.begin(), path.end(), bytes.begin() + offset);
        return true;
    }
    // Cut on a character boundary, so that the short form is still valid UTF-8.
    int length = qMin<int>(path.size(), fieldBytes - 1);
    while (length > 0 && (static_cast<unsigned char>(path[length]) & 0xC0) == 0x80)
        --length;
    std::copy(path.begin(), path.begin() + length, bytes.begin() + offset);
    return false;
}

QString GetPath(const QByteArray& bytes, int offset, int fieldBytes, const QByteArray& tail)
{
    if (!tail.isEmpty())
        return QString::fromUtf8(tail);
    const QByteArray field = bytes.mid(offset, fieldBytes);
    const qsizetype end = field.indexOf('\0');
    return QString::fromUtf8(end < 0 ? field : field.left(end));
}
} // namespace

QByteArray CCatalogueDragPayload::Encode() const
{
    QByteArray bytes(kSize, '\0');
    PutLong(bytes, 0, record.nKind);
    PutLong(bytes, 4, record.lGroupId);
    PutLong(bytes, 8, record.lCatalogueId);
    PutLong(bytes, 12, record.lRelativePathId);
    PutLong(bytes, 16, record.bChildrenLoaded ? 1 : 0);
    // A server password never reaches the clipboard.
    const QByteArray path = DbAddress::WithoutPassword(strDatabasePath).toUtf8();
    if (!PutPath(bytes, 20, kPathBytes, path))
        bytes.append(path);
    return bytes;
}

std::optional<CCatalogueDragPayload> CCatalogueDragPayload::Decode(const QByteArray& bytes)
{
    if (bytes.size() < kSize)
        return std::nullopt;
    CCatalogueDragPayload payload;
    payload.record.nKind = GetLong(bytes, 0);
    if (payload.record.nKind < CCatalogueTreeRecord::KindGroup ||
        payload.record.nKind > CCatalogueTreeRecord::KindFolder)
        return std::nullopt;
    payload.record.lGroupId = GetLong(bytes, 4);
    payload.record.lCatalogueId = GetLong(bytes, 8);
    payload.record.lRelativePathId = GetLong(bytes, 12);
    payload.record.bChildrenLoaded = GetLong(bytes, 16) != 0;
    payload.strDatabasePath = GetPath(bytes, 20, kPathBytes, bytes.mid(kSize));
    return payload;
}

QByteArray CFileIdListPayload::Encode() const
{
    const int count = static_cast<int>(fileIds.size());
    QByteArray bytes(kHeaderSize + 4 * count, '\0');
    // A server password never reaches the clipboard.
    const QByteArray path = DbAddress::WithoutPassword(strDatabasePath).toUtf8();
    const bool whole = PutPath(bytes, 0, kPathBytes, path);
    PutLong(bytes, 524, lGroupId);
    PutLong(bytes, 528, lCatalogueId);
    PutLong(bytes, 532, lRelativePathId);
    PutLong(bytes, 536, lFocusFileId);
    PutLong(bytes, 540, count);
    for (int i = 0; i < count; ++i)
        PutLong(bytes, kHeaderSize + 4 * i, fileIds[i]);
    if (!whole)
        bytes.append(path);
    return bytes;
}

std::optional<CFileIdListPayload> CFileIdListPayload::Decode(const QByteArray& bytes)
{
    if (bytes.size() < kHeaderSize)
        return std::nullopt;
    const qint32 count = GetLong(bytes, 540);
    if (count < 0 || count > (bytes.size() - kHeaderSize) / 4)
        return std::nullopt;
    CFileIdListPayload payload;
    payload.lGroupId = GetLong(bytes, 524);
    payload.lCatalogueId = GetLong(bytes, 528);
    payload.lRelativePathId = GetLong(bytes, 532);
    payload.lFocusFileId = GetLong(bytes, 536);
    payload.fileIds.reserve(count);
    for (int i = 0; i < count; ++i)
        payload.fileIds.push_back(GetLong(bytes, kHeaderSize + 4 * i));
    payload.strDatabasePath = GetPath(bytes, 0, kPathBytes, bytes.mid(kHeaderSize + 4 * count));
    return payload;
}

QMimeData* CreateCatalogueMimeData(const CCatalogueDragPayload& payload)
{
    auto* data = new QMimeData;
    data->setData(QString::fromLatin1(kCatalogueMimeType), payload.Encode());
    return data;
}

QMimeData* CreateFileIdListMimeData(const CFileIdListPayload& payload)
{
    auto* data = new QMimeData;
    data->setData(QString::fromLatin1(kFileIdListMimeType), payload.Encode());
    return data;
}

std::optional<CCatalogueDragPayload> CatalogueDragPayload(const QMimeData* data)
{
    const QString type = QString::fromLatin1(kCatalogueMimeType);
    if (!data || !data->hasFormat(type))
        return std::nullopt;
    return CCatalogueDragPayload::Decode(data->data(type));
}

std::optional<CFileIdListPayload> FileIdListPayload(const QMimeData* data)
{
    const QString type = QString::fromLatin1(kFileIdListMimeType);
    if (!data || !data->hasFormat(type))
        return std::nullopt;
    return CFileIdListPayload::Decode(data->data(type));
}

bool IsSameDatabasePath(const QString& a, const QString& b)
{
    if (a.isEmpty() || b.isEmpty())
        return false;
    if (DbAddress::IsServerAddress(a) || DbAddress::IsServerAddress(b))
        return DbAddress::Key(a) == DbAddress::Key(b);
    return QDir::cleanPath(QDir(a).absolutePath())
               .compare(QDir::cleanPath(QDir(b).absolutePath()), Qt::CaseInsensitive) == 0;
}

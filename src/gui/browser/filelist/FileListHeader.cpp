#include "gui/browser/filelist/FileListHeader.h"

#include "browser/RecordSetList.h"
#include "sorvel/SorvelHeaderImages.h"

#include <QPainter>

CFileListHeader::CFileListHeader(QWidget* parent)
    : QHeaderView(Qt::Horizontal, parent), m_images(SorvelHeaderImages())
{
    setSectionsClickable(true);
    setHighlightSections(false);
    setSectionResizeMode(QHeaderView::Interactive);
    setStretchLastSection(false);
}

void CFileListHeader::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const
{
    painter->save();
    QHeaderView::paintSection(painter, rect, logicalIndex);
    painter->restore();
    if (!model())
        return;
    const int image =
        model()->headerData(logicalIndex, Qt::Horizontal, CRecordSetList::SortImageRole).toInt();
    if (image <= 0 || image >= static_cast<int>(m_images.size()) ||
        m_images[static_cast<size_t>(image)].isNull() || rect.width() < 40)
        return;
    const QImage& arrow = m_images[static_cast<size_t>(image)];
    painter->drawImage(
        QPoint(rect.right() - arrow.width() - 4, rect.top() + (rect.height() - arrow.height()) / 2), arrow);
}

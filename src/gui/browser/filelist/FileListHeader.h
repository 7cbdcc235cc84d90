#pragma once

#include <QHeaderView>
#include <QImage>

#include <array>

// The file list's column headers with the shared sort arrows: the ascending or descending image
// on the sorted column, none on the others or while the rows keep their grouped order.
class CFileListHeader final : public QHeaderView
{
    Q_OBJECT

public:
    explicit CFileListHeader(QWidget* parent = nullptr);

protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;

private:
    std::array<QImage, 3> m_images;
};

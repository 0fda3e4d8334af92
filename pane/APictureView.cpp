#include "pane/APictureView.h"

#include <QFile>
#include <QPainter>

APictureView::APictureView(double widthInLines, double heightInLines, QWidget* parent)
    : QWidget(parent), fWidthInLines(widthInLines), fHeightInLines(heightInLines)
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void APictureView::SetPicture(const QString& name)
{
    SetIcon(PictureIcon(name), name);
}

void APictureView::SetIcon(const QIcon& icon, const QString& name)
{
    fIcon = icon;
    fPictureName = icon.isNull() ? QString() : name;
    update();
}

QSize APictureView::sizeHint() const
{
    const int line = fontMetrics().height();
    return {qRound(fWidthInLines * line), qRound(fHeightInLines * line)};
}

void APictureView::paintEvent(QPaintEvent*)
{
    if (fIcon.isNull())
        return;
    QPainter painter(this);
    fIcon.paint(&painter, rect(), Qt::AlignCenter);
}

QString PicturePath(const QString& name)
{
    if (name.isEmpty())
        return {};
    const QString path = u":/pictures/"_qs + name + u".svg"_qs;
    return QFile::exists(path) ? path : QString();
}

QIcon PictureIcon(const QString& name)
{
    const QString path = PicturePath(name);
    return path.isEmpty() ? QIcon() : QIcon(path);
}

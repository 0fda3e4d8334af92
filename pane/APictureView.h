#pragma once
// APictureView shows one picture scaled to fit its area, drawn from the icon
// at the screen's own resolution, so that the SVG pictures stay crisp at any
// scale factor. It remembers the name of the picture it shows: the pane's
// pictures by their resource name, or "" when it shows none.

#include <QIcon>
#include <QString>
#include <QWidget>

class APictureView : public QWidget {
    Q_OBJECT

public:
    // `size` in units of the font's height, so the picture follows the
    // system font.
    APictureView(double widthInLines, double heightInLines, QWidget* parent = nullptr);

    // One of the pane's pictures (":/pictures/<name>.svg"); "" shows none.
    void SetPicture(const QString& name);
    void SetIcon(const QIcon& icon, const QString& name);
    const QString& GetPictureName() const { return fPictureName; }
    bool HasPicture() const { return !fIcon.isNull(); }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    double fWidthInLines;
    double fHeightInLines;
    QIcon fIcon;
    QString fPictureName;
};

// The path of one of the pane's pictures; "" when there is none of that name.
QString PicturePath(const QString& name);
// The icon of one of the pane's pictures; null when there is none.
QIcon PictureIcon(const QString& name);

#include "SetupCardDelegate.h"

#include "Globals.h"
#include "SetupListModel.h"

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>

namespace {

const QColor CardBackground(0xE0, 0xE0, 0xE0);
constexpr int Margin = 2;
constexpr int DefaultField = 100;

} // namespace

int PreviewZoomField(const TTargetRenderer& renderer)
{
    const TargetDescription& target = renderer.Target;
    double size = 0.0;
    if (target.hasRing)
        size = 2.0 * renderer.RingRadius(target.ringRecord.MinimumRing());
    if (target.hasSilhouette)
        size = std::max(size, double(renderer.SilhouetteSizeMm()));
    return SaturatingCast<int>(size);
}

TSetupCardDelegate::TSetupCardDelegate(const TSetupListModel& model, QObject* parent)
    : QStyledItemDelegate(parent)
    , model_(model)
{
    preview_.SetSize(PreviewSize, PreviewSize);
}

QImage TSetupCardDelegate::Preview(int row) const
{
    const TTargetSetup* setup = model_.Setup(row);
    if (!setup)
        return {};
    preview_.Target = setup->target;
    // A silhouette without a size cannot be scaled: leave it out.
    if (preview_.Target.hasSilhouette && preview_.SilhouetteSizeMm() == 0)
        preview_.Target.hasSilhouette = 0;
    const int field = PreviewZoomField(preview_);
    preview_.SetZoomField(field > 0 ? field : DefaultField);
    try {
        preview_.Render(TTargetRenderer::ViewAllShots);
    } catch (const std::exception& e) {
        DebugLog(QStringLiteral("Setup preview: %1").arg(QString::fromUtf8(e.what())));
    }
    return preview_.DisplayLayer;
}

void TSetupCardDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    if (!model_.Setup(index.row()))
        return;
    painter->save();
    if (index.column() == 0)
        PaintPreview(painter, option, index.row());
    else
        PaintLines(painter, option, index.row());
    painter->restore();
}

void TSetupCardDelegate::PaintPreview(QPainter* painter, const QStyleOptionViewItem& option, int row) const
{
    painter->fillRect(option.rect, CardBackground);
    const QImage image = Preview(row);
    const QPoint at(option.rect.left() + (option.rect.width() - image.width()) / 2,
                    option.rect.top() + (option.rect.height() - image.height()) / 2);
    painter->drawImage(at, image);
}

void TSetupCardDelegate::PaintLines(QPainter* painter, const QStyleOptionViewItem& option, int row) const
{
    const bool selected = option.state & QStyle::State_Selected;
    painter->fillRect(option.rect, selected ? option.palette.highlight() : option.palette.base());
    painter->setPen(selected ? option.palette.highlightedText().color() : option.palette.text().color());
    const QStringList lines = model_.CardLines(row);
    QFont bold = option.font;
    bold.setBold(true);
    const int lineHeight = QFontMetrics(bold).height();
    QRect line(option.rect.left() + 2 * Margin, option.rect.top() + Margin, option.rect.width() - 4 * Margin, lineHeight);
    for (int i = 0; i < lines.size(); ++i) {
        painter->setFont(i == 0 ? bold : option.font);
        painter->drawText(line, Qt::AlignLeft | Qt::AlignVCenter, lines[i]);
        line.translate(0, lineHeight);
    }
}

QSize TSetupCardDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const int previewHeight = PreviewSize + 2 * Margin;
    if (index.column() == 0)
        return {PreviewSize + 2 * Margin, previewHeight};
    QFont bold = option.font;
    bold.setBold(true);
    const QStringList lines = model_.CardLines(index.row());
    const int textHeight = QFontMetrics(bold).height() * int(lines.size()) + 2 * Margin;
    return {QStyledItemDelegate::sizeHint(option, index).width(), std::max(previewHeight, textHeight)};
}

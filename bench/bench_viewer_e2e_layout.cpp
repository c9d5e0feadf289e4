// For bench/viewer_e2e.sh: where the controls that start a training sit in
// their windows, so the script can click them on the X server. Lays the
// start menu and the setup selector out offscreen as they are shown and
// prints "NAME X Y" (window coordinates of the control's centre).
#include "AppPaths.h"
#include "AppSettings.h"
#include "FormSelectSetup.h"
#include "FormStartMenu.h"
#include "MiniXMLParser.h"
#include "UiBitmaps.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QTableView>
#include <QDir>
#include <QWidget>

#include <cstdio>
#include <memory>

namespace {

void Print(QWidget& form, const char* name)
{
    form.show();
    const auto* control = form.findChild<QWidget*>(QString::fromLatin1(name));
    if (!control) {
        std::printf("%s none\n", name);
        return;
    }
    const QPoint c = control->mapTo(&form, control->rect().center());
    std::printf("%s %d %d\n", name, c.x(), c.y());
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QDir::setCurrent(QCoreApplication::applicationDirPath() + QStringLiteral("/../runtime"));
    SetAppFolder(QDir::currentPath());
    // The list a first start copies into the data folder.
    SetDefaultSetupPath(ShippedDefaultSetupPath());
    LoadUIBitmaps();
    auto settings = std::make_unique<MiniXMLParser::TXMLNode>();
    settings->SetName(QStringLiteral("TRAXELAppSettings"));
    SetSettingsRoot(std::move(settings));
    SetDefaultSettings();
    TFormStartMenu menu;
    Print(menu, "BitBtnClassicTraining");
    TFormSelectSetup select;
    Print(select, "ButtonStart");
    // The row of the shipped 10 m air rifle setup, a ring target: the
    // training whose viewers draw the live point.
    select.show();
    auto* grid = select.findChild<QTableView*>(QStringLiteral("DrawGridSetups"));
    const QAbstractItemModel* model = grid ? grid->model() : nullptr;
    for (int row = 0; model && row < model->rowCount(); ++row) {
        const QModelIndex index = model->index(row, 0);
        const QString text = model->data(index, Qt::DisplayRole).toString()
            + model->data(index, Qt::UserRole + 1).toStringList().join(QLatin1Char(' '));
        if (!text.contains(QStringLiteral("10 m Air Rifle")))
            continue;
        grid->scrollTo(index);
        const QPoint c = grid->viewport()->mapTo(&select, grid->visualRect(index).center());
        std::printf("RingSetupRow %d %d\n", c.x(), c.y());
        break;
    }
    return 0;
}

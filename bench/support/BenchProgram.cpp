#include "BenchProgram.h"

#include "AppPaths.h"
#include "AppSettings.h"
#include "MiniXMLParser.h"
#include "UiBitmaps.h"
#include "UiGlobals.h"

#include <QCoreApplication>
#include <QDir>

#include <memory>

void SetUpBenchProgram()
{
    QDir::setCurrent(QCoreApplication::applicationDirPath() + QStringLiteral("/../runtime"));
    SetAppFolder(QDir::currentPath());
    LoadUIBitmaps();
    LoadShotStringBitmaps();
    LoadStatusBitmaps();
    auto settings = std::make_unique<MiniXMLParser::TXMLNode>();
    settings->SetName(QStringLiteral("TRAXELAppSettings"));
    SetSettingsRoot(std::move(settings));
    SetDefaultSettings();
    SessionMode = SessionClassic;
}

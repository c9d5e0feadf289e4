#include "BenchProgram.h"

#include "AppPaths.h"
#include "AppSettings.h"
#include "MiniXMLParser.h"
#include "PortRegistry.h"
#include "UiBitmaps.h"
#include "UiGlobals.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

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

void UseScratchPorts(const QTemporaryDir& scratch)
{
    TPortRegistry& registry = TPortRegistry::Instance();
    for (const char* sub : {"sys", "byid", "dev", "ports"})
        QDir().mkpath(scratch.filePath(QString::fromLatin1(sub)));
    registry.SetSysfsRoot(scratch.filePath(QStringLiteral("sys")).toStdString());
    registry.SetByIdFolder(scratch.filePath(QStringLiteral("byid")).toStdString());
    registry.SetDevFolder(scratch.filePath(QStringLiteral("dev")).toStdString());
    registry.SetPortsFolder(scratch.filePath(QStringLiteral("ports")).toStdString());
    registry.Reset();
}

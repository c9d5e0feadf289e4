// The print manager: one shooter's page (the target with its shots, the
// viewer's summary lines, the grading summary and the shot table between two
// banners), and a target alone at true size times a scale.
//
// GUI thread only. The manager draws on whatever IPrintDevice it is given:
// the screens hand in the printer, the tests a device that keeps its pages as
// images. It never sees a viewer form: the viewer reaches it through
// IShooterPrintView. Every print is one whole document (BeginDoc .. EndDoc).
//
// Geometry works in device pixels of the page the painter draws on; UnitsPerMm
// maps target millimetres onto them (MapX/MapY, Y growing downwards).
#pragma once

#include "DrawKit.h"
#include "Setupdata.h"

#include <QSize>
#include <QSizeF>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <span>

class QPainter;
class TShooter;
class TShotString;
class TTargetRenderer;

// A printer as the print manager uses it. Documents are one at a time.
class IPrintDevice {
public:
    virtual ~IPrintDevice() = default;
    // Lets the operator choose and set up the printer; false when cancelled.
    virtual bool ExecuteDialog() = 0;
    // Starts a document; the returned painter is active on its first page.
    // Null when the printer cannot print: nothing is printed then.
    virtual QPainter* BeginDoc() = 0;
    // Ends the document begun last; false when it failed.
    virtual bool EndDoc() = 0;
    // The drawable page in device pixels (the painter's 0..w, 0..h).
    virtual QSize PageSizePixels() const = 0;
    // The whole paper in millimetres, sides as the page is printed
    // (landscape: the long side is the width).
    virtual QSizeF PaperSizeMm() const = 0;
    // Device pixels per millimetre of paper.
    virtual double PixelsPerMm() const = 0;
};

// A shooter viewer as the printout sees it.
class IShooterPrintView {
public:
    virtual ~IShooterPrintView() = default;
    virtual TShooter* Shooter() const = 0;
    // Clears the selection, redraws all shots (which refills the renderer's
    // summary lines) and lays the shot strip out afresh.
    virtual void PrepareForPrint() = 0;
    virtual const TTargetRenderer& Renderer() const = 0;
    virtual const TShotString& Strip() const = 0;
};

class TThePrintManager {
public:
    TThePrintManager();
    virtual ~TThePrintManager();
    TThePrintManager(const TThePrintManager&) = delete;
    TThePrintManager& operator=(const TThePrintManager&) = delete;

    // Runs the printer's dialog; callers print only on true.
    bool ExecutePrintDialog();

    // Prints Shooter's page as one document, taking target, summary lines and
    // shot times from the last of views that shows Shooter. False when none
    // does (nothing printed) or the printer failed.
    bool PrintShooter(std::span<IShooterPrintView* const> views);

    // Prints Target at true size times scale, centred on one page, with its
    // name and ScaleCaption. False after telling the operator why not: the
    // scaled target does not fit the paper, there is no target or no usable
    // scale, or the printer failed.
    bool PrintTargetTrueSize(double scale);

    // UnitsPerMm such that the target's larger extent fills percent of the
    // region's smaller side; false (and 0) for a target without extent.
    bool FitScale(double percent);
    int MapX(double x) const;
    int MapY(double y) const;

    // Drawing steps of the shooter page, each in the current region.
    void DrawBanners();
    void DrawRings();
    void DrawSilhouette();
    void DrawShots();
    void DrawDistribution();
    void DrawGradingSummary();
    void DrawShotTable();
    static QString FormatCount(int n);

    // Outer ring radius in mm as the scorer computes it; negative for a ring
    // the record has no diameter for.
    double RingRadius(int ring) const;
    // The outermost ring's diameter in mm (absent rings skipped), 0 without a
    // ring; the silhouette's side in whole mm, 0 without one.
    double RingExtentMm() const;
    int SilhouetteExtentMm() const;
    // The text of shot i's row pieces in the shot table.
    QString ShotScoreText(int i) const;
    QString ShotTimeText(int i) const;

    // ---- Fields ----
    const TargetDescription* Target = nullptr;   // not owned
    TShooter* Shooter = nullptr;                 // not owned
    IShooterPrintView* Viewer = nullptr;         // not owned
    TCanvas* Canvas = nullptr;                   // the page being drawn; not owned
    std::array<TColor, 4> Colours {};
    QString ScaleCaption;
    int32_t PageWidth = 0;
    int32_t PageHeight = 0;
    int32_t RegionTop = 0;
    int32_t RegionBottom = 0;
    int32_t RegionLeft = 0;
    int32_t RegionRight = 0;
    QStringList Lines;
    double UnitsPerMm = 0.0;
    IPrintDevice* Printer = nullptr;             // not owned

private:
    void SetRegion(double left, double top, double right, double bottom);
    void DrawTarget();
    void DrawShooterPage();
    bool Refuse();
};

// The fill colours of a shooter page and of a true-size print.
constexpr std::array<TColor, 4> ShooterPageColours = { TColor(0xFFFFFF), TColor(0xE0E0E0), TColor(0xC0C0C0),
                                                       TColor(0xF8F8F8) };
constexpr std::array<TColor, 4> TrueSizeColours = { TColor(0xFFFFFF), TColor(0x202020), TColor(0x0000FF),
                                                    TColor(0x808080) };

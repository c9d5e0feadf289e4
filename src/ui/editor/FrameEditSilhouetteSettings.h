// The setup editor's "Silhouette" tab: the silhouette target record and its
// 64 x 64 zone map in the working target: name, nominal distance, size (one
// square side in advanced mode, else width and height), the unit switch,
// the four hit-area colours, and clipboard import and export of the map.
//
// GUI thread; a page of TFormEditSetup. Uses the clipboard and the colour
// chooser of the prompts. Installs its translation table; the destructor
// removes it.
#pragma once

#include "EditSetupValues.h"

#include <QWidget>

#include <array>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;
class TFormEditSetup;
struct TargetDescription;

class TFrameEditSilhouetteSettings : public QWidget {
    Q_OBJECT
public:
    explicit TFrameEditSilhouetteSettings(TFormEditSetup& editor, QWidget* parent = nullptr);
    ~TFrameEditSilhouetteSettings() override;

    void LoadSilhouetteSettings(const TargetDescription& target);
    bool ValidateSilhouetteSettings();
    bool StoreSilhouetteSettings(TargetDescription& target);
    // Fills a usable silhouette into a frame without a size.
    void ApplyDefaultSilhouette();
    void UpdateSilhouetteUnitLabels();
    void ShowHitAreaColors();

    EditSetupValues::THitAreaColors HitAreaColors = EditSetupValues::DefaultHitAreaColors();

    // ---- Handlers ----
    void OnFieldExit();
    void ImageToggleUnitsClick();
    void PanelMissClick(int zone);
    void ButtonImportBitmapClick();
    void ButtonExportBitmapClick();

private:
    void BuildControls();
    void BuildLayout();
    void RegisterTranslation();
    void ApplyLayout();
    bool Inch() const;
    // The picture's zone map becomes the working target's silhouette.
    void ImportPicture(const QImage& picture);

    TFormEditSetup& editor_;

    QLineEdit* EditTargetName = nullptr;
    QLineEdit* EditDistance = nullptr;
    QLineEdit* EditSilhouetteSize = nullptr;
    QLineEdit* EditSilhouetteWidth = nullptr;
    QLineEdit* EditSilhouetteHeight = nullptr;
    QCheckBox* CheckBoxDistanceImperial = nullptr;
    QCheckBox* CheckBoxSizeImperial = nullptr;
    QCheckBox* CheckBoxWidthImperial = nullptr;
    QCheckBox* CheckBoxHeightImperial = nullptr;
    QToolButton* ImageToggleUnits = nullptr;
    QGroupBox* GroupBoxAdvanced = nullptr;
    QGroupBox* GroupBoxSilhouetteSize = nullptr;
    QLabel* LabelDistUnit = nullptr;
    QLabel* LabelSizeUnit = nullptr;
    QLabel* LabelWidthUnit = nullptr;
    QLabel* LabelHeightUnit = nullptr;
    std::array<QPushButton*, 4> Panels {};   // PanelMiss, PanelHit, PanelFatal, PanelNear
    QPushButton* ButtonImportBitmap = nullptr;
    QPushButton* ButtonExportBitmap = nullptr;
};

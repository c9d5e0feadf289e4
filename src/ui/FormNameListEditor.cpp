#include "FormNameListEditor.h"

TFormNameListEditor::TFormNameListEditor(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("FormNameListEditor"));
    setWindowTitle(QStringLiteral("Name List Editor"));
}

TFormNameListEditor::~TFormNameListEditor() = default;

bool TFormNameListEditor::LoadNameList(const QString& path) { return names_.LoadFromFile(path); }
void TFormNameListEditor::TeamsToGrid() {}
void TFormNameListEditor::ShootersToGrid() {}

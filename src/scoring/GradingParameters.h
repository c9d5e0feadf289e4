// The grading parameters: the scalar settings and the four row tables read
// from a grading parameter file (".tgp"). One set for the whole program; the
// last file loaded wins. Used on the GUI thread only, not locked.
#pragma once

#include <QString>

#include <array>
#include <functional>

// Limits are stored in hundredths ("value x 100") unless a field says otherwise.
struct GradeRow {
    int group = 0;        // stance 1 stand, 2 kneel, 3 prone
    int difficulty = 0;   // 0 unqualified, 1 marksman, 2 expert
    int points = 0;
    int reserved = 0;
    int scoreLimit = 0;
    int holdLimit = 0;
    int aimLimit = 0;
    int col7 = 0;
    int col8 = 0;
    int col9 = 0;
    int col10 = 0;
    int col11 = 0;
    int col12 = 0;
    int col13 = 0;
    int col14 = 0;
    double timingLimit = 0.0;
    int totalLimit = 0;
    int col19 = 0;
    int col20 = 0;

    bool operator==(const GradeRow&) const = default;
};

struct TireRow {
    int group = 0;
    int id = 0;
    int level = 0;
    int value1 = 0;
    int value2 = 0;

    bool operator==(const TireRow&) const = default;
};

struct DtcCtRow {
    double limit = 0.0;
    int key13 = 0;
    int key14 = 0;
    int trigPoints = 0;
    int trigLevel = 0;
    int countOutside = 0;
    int countInside = 0;

    bool operator==(const DtcCtRow&) const = default;
};

struct CtrRtvRow {
    int holdKey = 0;
    int points = 0;
    double limit = 0.0;

    bool operator==(const CtrRtvRow&) const = default;
};

struct TGradingParameters {
    int hitWeight = 0;
    int holdWeight = 0;
    int aimWeight = 0;
    int trigWeight = 0;
    int yellowGrade = 0;
    int greenGrade = 0;
    int step3YellowLimit = 0;
    int step3GreenLimit = 0;
    std::array<int, 4> step5Limit {};   // lowest values of steps 2, 3, 4, 5
    int aimBlinkTime = 0;               // ms
    int trigLinearRegressionGap1 = 0;   // hundredths of a ring
    int trigLinearRegressionGap2 = 0;
    int sliceMs = 0;                    // 0 or less: 13 samples
    int tcrtvTiming1Limit = 100;        // hundredths
    int lr3SecBottom = 0;               // tenths of a ring
    int timing1Weight = 100;            // percent
    int ttrxLow = 0;                    // tenths
    int ttrxHigh = 0;
    int ttrxDev = 0;                    // hundredths
    bool use5StepBitmaps = false;
    bool militaryGun = false;
    std::array<bool, 3> hasRows {};     // a grade row of stance 1..3 was loaded

    bool operator==(const TGradingParameters&) const = default;
};

struct TGradingTables {
    static constexpr int GradeCapacity = 200;
    static constexpr int TireCapacity = 200;
    static constexpr int DtcCtCapacity = 500;
    static constexpr int CtrRtvCapacity = 200;

    std::array<GradeRow, GradeCapacity> grade {};
    int gradeCount = 0;
    std::array<TireRow, TireCapacity> tire {};
    int tireCount = 0;
    std::array<DtcCtRow, DtcCtCapacity> dtcCt {};
    int dtcCtCount = 0;
    std::array<CtrRtvRow, CtrRtvCapacity> ctrRtv {};
    int ctrRtvCount = 0;
};

extern TGradingParameters GradingParameters;
extern TGradingTables GradingTables;

// Shows a load problem to the operator: a message box in the program, a
// recorder in tests. May be empty.
using GradingReporter = std::function<void(const QString& text, const QString& caption)>;

// The stance and difficulty a grading panel grades for. Each panel owns one;
// stance 0 grades nothing.
struct GradingSelection {
    int stance = 0;       // 1 stand, 2 kneel, 3 prone
    int difficulty = 0;   // 0 unqualified, 1 marksman, 2 expert
};

// Every field to its default, all tables empty.
void ResetGradingParameters();

// Takes the next ';'-separated number off text. found is false for an empty
// or unreadable field; rest is what follows the first ';' (empty without one).
struct GradingNumber {
    bool found = false;
    double value = 0.0;
    QString rest;
};
GradingNumber NextGradingNumber(const QString& text);

// Resets and loads the parameters from a grading file, decoded as every text
// file is (UTF-16 with its mark, CR-only line ends). A missing file loads
// nothing, silently. Bad rows and full tables go to reporter and are skipped;
// so is a file that cannot be read or held in memory, and one that yields no
// grade row at all. Points (grade, ctr_rtv and dtc_ct rows) are kept in 0..5,
// the dtc_ct level in 0..3. Returns the number of grade rows loaded.
int LoadGradingFile(const QString& path, const GradingReporter& reporter);

// LoadGradingFile for a panel: without any grade row the panel's selection
// is cleared (stance and difficulty 0), so nothing is graded.
void LoadGradingParameterFile(GradingSelection& panel, const QString& path, const GradingReporter& reporter);

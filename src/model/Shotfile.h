// Session files (*.shotfile.xml) and setup files (*.setup.xml), and the
// element forms the network messages share with them: SessionInfo, TargetInfo
// with its Target elements, Shooter, Shot, ModeInfo.
#pragma once

#include "DeviceRecords.h"
#include "MiniXMLParser.h"
#include "Setupdata.h"
#include "Shotdata.h"

#include <QString>

#include <array>
#include <memory>

class TShotFileHandler {
public:
    using TXMLNode = MiniXMLParser::TXMLNode;

    // Most shooters a session may hold when read: far beyond any training
    // (one per unit or remote shooter), yet low enough that a damaged or
    // hostile file cannot fill the memory with empty shooters.
    static constexpr int MaxShooters = 1000;
    // Most tags ('<' characters, counted before parsing) a setup file may
    // hold: about a thousand setups. Every element in memory takes about a
    // hundred bytes, so a file of tiny elements costs many times its size.
    static constexpr int MaxSetupFileTags = 200000;

    // The advanced-mode flag is taken from the application settings here;
    // callers may change it before writing.
    TShotFileHandler();
    ~TShotFileHandler();
    TShotFileHandler(const TShotFileHandler&) = delete;
    TShotFileHandler& operator=(const TShotFileHandler&) = delete;

    // ---- Form flags (all off for session files) ----
    bool rawSamples = false;   // RAW on every curve point
    bool rawResult = false;    // RAWRESULT, RAWRINGSET1-3, RAWSILSET
    bool compact = false;      // no XNAU, YNAU, Revalm, RingTarget, SilhouetteTarget
    // Silhouette width and height written from the two doubles instead of the
    // size field.
    bool advancedMode = false;

    // ---- The session written or read ----
    TSession* Session() const { return session_; }
    // For saving, or for reading single elements into it: the caller's
    // session, not owned. A different session than the owned one frees that.
    void SetSession(TSession* session);
    bool OwnsSession() const { return owned_ != nullptr; }
    // Hands a loaded session to the caller; the handler keeps pointing at it
    // without owning it.
    std::unique_ptr<TSession> TakeSession();

    const QString& FileName() const { return fileName_; }
    void SetFileName(const QString& fileName) { fileName_ = fileName; }

    MiniXMLParser::TMiniXMLParser& Parser() { return parser_; }
    TXMLNode* Root() const { return parser_.Root(); }
    TXMLNode* SessionInfoNode() const { return sessionInfo_; }
    TXMLNode* TargetInfoNode() const { return targetInfo_; }

    // ---- Session file ----
    // Replaces the session by a new, owned one and reads the file into it.
    // Every failure throws Exception: the file cannot be opened, a reader
    // error, the parser's error (message, text and line index) when the text
    // is damaged, more than MaxShooters shooters, or too little memory. After
    // a throw the session holds what was read (nothing after a memory
    // failure); callers discard it. A shot value outside its range (score,
    // sector, zone, target slot) is read as "none" and logged.
    bool LoadShotFile(const QString& path);
    // New document "ShotFile" with the whole session.
    void BuildShotFile();
    // Writes the built document to path (atomically); throws on failure.
    void Save(const QString& path);

    // ---- Element writers ----
    void WriteSession();
    void WriteSessionInfo(TXMLNode* element);
    void WriteShooterTargets(TShooter& shooter, TXMLNode* targetInfo);
    void WriteShooter(TXMLNode* element, const TShooter& shooter, int position);
    // A score or zone of none (255) is left out, so it reads back as none.
    void WriteShot(TXMLNode* element, const TShot& shot, int shotIndex);
    void WriteModeInfo(TXMLNode* element, const ModeBlock& block, bool classic);
    void WriteRingTarget(TXMLNode* element, const RingTargetRecord& target);
    void WriteSilhouetteTarget(TXMLNode* element, const SilhouetteTargetRecord& target,
        const SilhouetteMatrix& matrix);

    // ---- Element readers (into the session; a new owned one when none is set) ----
    void ReadShotFile();
    // Throws when the session holds MaxShooters already.
    TShooter* ReadShooter(const TXMLNode* element);
    // Appends the shot to shooter; its shot number is the shooter's shot
    // count + 1. A score, sector, zone or target slot outside its range is
    // stored as none (score 255, sector 0, zone 255, slot 255) and logged.
    TShot* ReadShot(const TXMLNode* element, TShooter& shooter);
    // Every Target child into the session's target table.
    void ReadTargetInfo(const TXMLNode* element);
    static void ReadTargetInfo(const TXMLNode* element, DeviceSetup& table);
    static void ReadModeInfo(const TXMLNode* element, ModeBlock& block, bool& classic);
    // Both return the slot the target went to.
    static int ReadRingTarget(const TXMLNode* element, DeviceSetup& table);
    static int ReadSilhouetteTarget(const TXMLNode* element, DeviceSetup& table);

    // ---- Setup file ----
    // Throws before writing anything when a setup has no target (it could
    // not be read back).
    void SaveSetupFile(const QString& path, const TSetupHandler& setups);
    // Appends the file's setups to setups. False, with nothing read, when the
    // root has no SetupInfo; every other failure throws Exception (also a
    // file of more than MaxSetupFileTags tags, refused before it is
    // parsed, and too little memory), leaving the setups read so far in the
    // list.
    bool LoadSetupFile(const QString& path, TSetupHandler& setups);
    void WriteSetup(TXMLNode* element, const TTargetSetup& setup);
    static void ReadSetup(const TXMLNode* element, TTargetSetup& setup, DeviceSetup& scratch);

private:
    // The readers need a session to fill; without one they make their own.
    void EnsureSession();
    // Parses path; returns the parse error text, empty when parsing succeeded.
    QString LoadDocument(const QString& path);
    bool LoadShotFileUnguarded(const QString& path);
    // The pieces of ReadShot. The ShotInfo children are found once, in the
    // order of the reader's table.
    using TShotInfo = std::array<const TXMLNode*, 10>;
    // X, Y, XNAU, YNAU into the record; returns the function mode (1 classic,
    // 2 dynamic, 0 when the attribute is missing).
    static int ReadShotAttributes(const TXMLNode* element, RawShotRecord& r);
    void ReadShotResult(const TShotInfo& info, const TShooter& shooter, TShot& shot);
    static void ReadCurve(const TXMLNode* curve, TShot& shot);
    bool LoadSetupFileUnguarded(const QString& path, TSetupHandler& setups);
    // Logs one shot value that was out of range (the first few of a load).
    void ReportOutOfRange(const TShooter& shooter, int shotNumber, const char* field, const QString& text);
    void ReportUndefinedTarget(const TShooter& shooter, int shotNumber, const char* field, int slot);
    // After the targets are read: shots on slots without a target lose it.
    void DropUndefinedShotTargets(const TShooter& shooter);

    MiniXMLParser::TMiniXMLParser parser_;
    TXMLNode* sessionInfo_ = nullptr;
    TXMLNode* targetInfo_ = nullptr;
    QString fileName_;
    TSession* session_ = nullptr;
    std::unique_ptr<TSession> owned_;
    int outOfRange_ = 0;  // values read as none since the last load began
};

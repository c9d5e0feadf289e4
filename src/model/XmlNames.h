// Every element name, attribute name and fixed value of the program's XML
// files and network messages, spelled once. Several names serve more than one
// role (Mode, QuickGrading, Type, CTRL1, CTRL2, Silhouette, Name, Team); one
// constant covers all of them.
#pragma once

namespace XmlNames {

// ---- Files -------------------------------------------------------------------
inline constexpr char TranslationsFile[] = "Translations.lang.txt";
inline constexpr char TranslationFaultsFile[] = "Translation faults.txt";

// ---- Application settings ------------------------------------------------------
inline constexpr char AppSettings[] = "TRAXELAppSettings";  // root element
inline constexpr char Network[] = "Network";
inline constexpr char Mode[] = "Mode";
inline constexpr char ModeDisable[] = "Disable";
inline constexpr char ModeNode[] = "Node";
inline constexpr char ModeMonitor[] = "Monitor";
inline constexpr char MonitorIP[] = "MonitorIP";
inline constexpr char MonitorPort[] = "MonitorPort";
inline constexpr char Options[] = "Options";
inline constexpr char AlwaysShowSaveDialogs[] = "AlwaysShowSaveDialogs";
inline constexpr char ClearShotsAfterDownload[] = "ClearShotsAfterDownload";
inline constexpr char QuickGrading[] = "QuickGrading";
inline constexpr char StartAutomatically[] = "StartAutomatically";
inline constexpr char SimplifyUI[] = "SimplifyUI";
inline constexpr char DefaultSetupFile[] = "DefaultSetupFile";
inline constexpr char LimitShotsDrawn[] = "LimitShotsDrawn";
inline constexpr char DataoutMode[] = "DataoutMode";
inline constexpr char AutoZoom[] = "AutoZoom";
inline constexpr char BluetoothPorts[] = "BluetoothPorts";
inline constexpr char AdvancedSettings[] = "AdvancedSettings";
inline constexpr char GunMounting[] = "GunMounting";
inline constexpr char GunMountingTop[] = "top";
inline constexpr char GunMountingBelow[] = "below";
inline constexpr char GunMountingLeft[] = "left";
inline constexpr char GunMountingRight[] = "right";
inline constexpr char TeamNameListFile[] = "TeamNameListFile";
inline constexpr char Position[] = "Position";
inline constexpr char PositionStanding[] = "Standing";
inline constexpr char PositionKneeling[] = "Kneeling";
inline constexpr char PositionProne[] = "Prone";
inline constexpr char SkillLevel[] = "SkillLevel";
inline constexpr char SkillUnqualified[] = "Unqualified";
inline constexpr char SkillMarksman[] = "Marksman";
inline constexpr char SkillExpert[] = "Expert";

// ---- Document roots and common attributes ------------------------------------------
inline constexpr char ShotFile[] = "ShotFile";
inline constexpr char SetupFile[] = "SetupFile";
inline constexpr char NameListFile[] = "NameListFile";
inline constexpr char CreatedBy[] = "CreatedBy";
inline constexpr char CreatedByValue[] = "TRAXEL 2.1";

// ---- Network messages ------------------------------------------------------------
inline constexpr char TRAXELMessage[] = "TRAXELMessage";
inline constexpr char TRAXELDataOut[] = "TRAXELDataOut";
inline constexpr char Request[] = "Request";
inline constexpr char Item[] = "Item";
inline constexpr char SendMessageRequest[] = "SendMessage";
inline constexpr char Message[] = "Message";

// ---- Session and setup ------------------------------------------------------------
inline constexpr char SessionInfo[] = "SessionInfo";
inline constexpr char Name[] = "Name";
inline constexpr char Date[] = "Date";
inline constexpr char SetupInfo[] = "SetupInfo";
inline constexpr char Setup[] = "Setup";
inline constexpr char Description[] = "Description";
inline constexpr char LockArrows[] = "LockArrows";
inline constexpr char DeviceMounting[] = "DeviceMounting";

// ---- Mode blocks ------------------------------------------------------------------
inline constexpr char ModeInfo[] = "ModeInfo";
inline constexpr char Type[] = "Type";
inline constexpr char Classic[] = "Classic";
inline constexpr char Dynamic[] = "Dynamic";
inline constexpr char CTRL1[] = "CTRL1";
inline constexpr char CTRL2[] = "CTRL2";
inline constexpr char RingTargetEnabled[] = "RingTargetEnabled";
inline constexpr char RingTargetNumber[] = "RingTargetNumber";
inline constexpr char SilhouetteEnabled[] = "SilhouetteEnabled";
inline constexpr char SilhouetteTargetNumber[] = "SilhouetteTargetNumber";
inline constexpr char NumberOfPrisms[] = "NumberOfPrisms";
inline constexpr char NumberOfBullets[] = "NumberOfBullets";
inline constexpr char WakeupAngle[] = "WakeupAngle";
inline constexpr char ShotRejectionAngle[] = "ShotRejectionAngle";
inline constexpr char SleepTimeout[] = "SleepTimeout";
inline constexpr char SleepEnable[] = "SleepEnable";
inline constexpr char DisplayEnable[] = "DisplayEnable";
inline constexpr char HIBEnable[] = "HIBEnable";
inline constexpr char SoundEnable[] = "SoundEnable";
inline constexpr char TriggerSensitivity[] = "TriggerSensitivity";
inline constexpr char CockingDelay[] = "CockingDelay";

// ---- Targets ----------------------------------------------------------------------
inline constexpr char TargetInfo[] = "TargetInfo";
inline constexpr char Target[] = "Target";
inline constexpr char Ring[] = "Ring";
inline constexpr char Silhouette[] = "Silhouette";  // target type and ShotInfo child
inline constexpr char RingGaps[] = "RingGaps";
inline constexpr char RingGapsFixed[] = "Fixed";
inline constexpr char RingGapsVariable[] = "Variable";
inline constexpr char NominalDistance[] = "NominalDistance";
inline constexpr char Caliber[] = "Caliber";
inline constexpr char TargetWidth[] = "TargetWidth";
inline constexpr char TargetHeight[] = "TargetHeight";
inline constexpr char MatrixRow[] = "MatrixRow";
inline constexpr char Row[] = "Row";
inline constexpr char Columns[] = "Columns";
inline constexpr char PrismPlaceX[] = "PrismPlaceX";
inline constexpr char PrismPlaceY[] = "PrismPlaceY";
inline constexpr char HighestRing[] = "HighestRing";
inline constexpr char MinimumRing[] = "MinimumRing";
inline constexpr char DiameterHighestRing[] = "DiameterHighestRing";
inline constexpr char HitRingGap[] = "HitRingGap";
inline constexpr char DiameterInnerWhite[] = "DiameterInnerWhite";
inline constexpr char DiameterBlackArea[] = "DiameterBlackArea";
inline constexpr char DiameterX[] = "DiameterX";
inline constexpr char DiameterVariableHminus[] = "DiameterVariableHminus";  // followed by 1..11
inline constexpr char HIBMinScore[] = "HIBMinScore";
inline constexpr char Unit[] = "Unit";
inline constexpr char UnitMm[] = "mm";
inline constexpr char UnitInch[] = "inch";
inline constexpr char UnitM[] = "m";
inline constexpr char UnitYd[] = "yd";
inline constexpr char Unnamed[] = "Unnamed";
inline constexpr char RawRingSet1[] = "RAWRINGSET1";
inline constexpr char RawRingSet2[] = "RAWRINGSET2";
inline constexpr char RawRingSet3[] = "RAWRINGSET3";
inline constexpr char RawSilSet[] = "RAWSILSET";

// ---- Shooters and shots -------------------------------------------------------------
inline constexpr char Shooter[] = "Shooter";
inline constexpr char Team[] = "Team";
inline constexpr char ShooterIndex[] = "ShooterIndex";
inline constexpr char SerialNumber[] = "SerialNumber";
inline constexpr char Shot[] = "Shot";
inline constexpr char ShotIndex[] = "ShotIndex";
inline constexpr char ShotCount[] = "ShotCount";
inline constexpr char ShotInfo[] = "ShotInfo";
inline constexpr char Score[] = "Score";
inline constexpr char Sector[] = "Sector";
inline constexpr char TargetName[] = "TargetName";
inline constexpr char TargetNumber[] = "TargetNumber";
inline constexpr char FunctionMode[] = "FunctionMode";
inline constexpr char StartupCounter[] = "StartupCounter";
inline constexpr char RingTarget[] = "RingTarget";
inline constexpr char SilhouetteTarget[] = "SilhouetteTarget";
inline constexpr char Time[] = "Time";
inline constexpr char Rotation[] = "Rotation";
inline constexpr char AimingTime[] = "AimingTime";
inline constexpr char Curve[] = "Curve";
inline constexpr char HitSampleIndex[] = "HitSampleIndex";
inline constexpr char Pt[] = "Pt";
inline constexpr char PtIndex[] = "i";
inline constexpr char X[] = "X";
inline constexpr char Y[] = "Y";
inline constexpr char XNAU[] = "XNAU";
inline constexpr char YNAU[] = "YNAU";
inline constexpr char Revalm[] = "Revalm";
inline constexpr char Failures[] = "Failures";          // curve point attribute
inline constexpr char FailuresElement[] = "FAILURES";   // ShotInfo child
inline constexpr char Raw[] = "RAW";
inline constexpr char RawResult[] = "RAWRESULT";

// ---- Name lists ------------------------------------------------------------------
inline constexpr char TeamNameFormat[] = "Team %d";
inline constexpr char ShooterNameFormat[] = "Shooter %d";

}  // namespace XmlNames

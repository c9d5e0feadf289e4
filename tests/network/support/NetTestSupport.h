// Sessions, shots and peers for the network tests.
#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

class TSession;
class TShooter;

// A shooter appended to session: serial, name, the test ring in slot 0 and
// shots shots on it (raw XNAU 10 i, YNAU -5 i, score 100 - i, a trace of
// points points each).
TShooter* AddNetShooter(TSession& session, const QString& serial, const QString& name, int shots, int points = 3);
// One more shot like those of AddNetShooter at the end of shooter's list.
void AddNetShot(TShooter& shooter, int points = 3);

// A message as a node or monitor writes it: declaration line and body.
QByteArray Wrap(const QByteArray& body, const QByteArray& root = "TRAXELMessage");

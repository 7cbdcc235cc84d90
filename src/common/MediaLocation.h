#pragma once

#include <QString>

class CUserInteraction;
class CVolumeTable;

// Finding the medium that holds a catalogued path, by the volume serial number recorded when the
// catalogue was made.
//
// The volumes are walked in mount-table order, by drive type: the recorded drive type alone, or,
// when none was recorded (0), fixed volumes, then removable ones (a USB stick that is plugged
// in), then CD-ROMs, then RAM disks.
//
// - serial 0 (none recorded): nothing tells media apart, so the path is looked for only where it
//   was catalogued; the first volume of a tried type that holds the path and on which it exists
//   answers. The scan goes on past volumes on which it is missing.
// - serial not 0: the first volume with that serial answers. When it is mounted elsewhere than
//   when the catalogue was made, the part of the path below the old mount point is placed below
//   the volume's mount point ("/media/u/USB1/photos" -> "/media/u/USB2/photos"); the old mount
//   point is told from what is left of it on this machine (the first folder of the path that is
//   missing, or an empty folder a medium used to be mounted on) and, failing that, by looking
//   for the longest tail of the path that exists on the volume.
//
// A path on a network filesystem, or in the "//server/share" form, is ready at once.
//
// Results: 0 with the path rewritten where the medium now is; 2 "File not found" when the volume
// is there but the path is missing on it (the path is rewritten all the same); 34 "Disk not
// found" when no volume answers, with a solution asking for the disk by its label (or, without a
// label, naming where the disk was mounted). multiLine selects the texts with line breaks.
int LocateMedia(QString& path, qint32 volumeSerial, QString volumeLabel, int driveType,
                QString* pProblem, QString* pSolution, bool multiLine);
// The same against a given volume table (tests).
int LocateMedia(const CVolumeTable& table, QString& path, qint32 volumeSerial, QString volumeLabel,
                int driveType, QString* pProblem, QString* pSolution, bool multiLine);

// LocateMedia that asks the person to insert the medium until it is found: a warning box with the
// solution as text, the problem as caption and Retry / Cancel. Returns 0 when found, else the
// last result of LocateMedia after Cancel.
int LocateMediaWithPrompt(CUserInteraction& ui, QString& path, qint32 volumeSerial,
                          const QString& volumeLabel, int driveType);

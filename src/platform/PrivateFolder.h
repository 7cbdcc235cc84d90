#pragma once

#include <QString>

#include <optional>

// Folders and sockets that belong to the person running the program and to nobody else.

// Makes sure that path is a folder only its owner can reach: created with mode 0700 when missing
// (its parents as usual); an existing one is accepted only when it is a real folder (not a link)
// owned by the effective user with no access for group or others. False, with the reason in
// *pError, otherwise: another user's folder, or one open to others, may hold sockets planted there.
bool EnsurePrivateFolder(const QString& path, QString* pError = nullptr);

// The effective user id of this process.
uint CurrentUserId();

// The user id of the process at the other end of a connected local socket (as the kernel recorded
// it when that end connected or listened); nothing when the descriptor is no such socket.
std::optional<uint> LocalSocketPeerUserId(qintptr descriptor);

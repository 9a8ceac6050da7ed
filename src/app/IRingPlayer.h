#pragma once
// The ring tone played when a message arrives. PlayRing starts the file from its beginning,
// stopping what was playing; a file that cannot be played plays nothing and says nothing.
#include <QString>

class IRingPlayer
{
public:
    virtual ~IRingPlayer() = default;
    virtual void PlayRing(const QString &file) = 0;
    virtual void StopRing() = 0;
};

// Replaying the day log's after-images (store/logbook.h) over a set of
// tables, to rebuild them as they stood at a moment: the tables of a backup,
// then every action logged after it up to that moment, each as its intent
// recorded it (store/journal.h). A growth is redone as the counter did it,
// from the table as the action had written it and the record whose insert
// grew it, and a compaction from the table as it stood, so the rebuilt
// tables are the counter's byte for byte.
#pragma once

#include <cstdint>
#include <string>

// Where a replay got to: the number of the last event replayed (the
// backup's own when nothing was), and that event's time.
struct ReplayReach {
    int64_t seq = 0;
    std::string time;
};

// Rebuilds the tables in work (a folder ending in the separator, holding a
// copy of the backup's five tables) as they stood at until ("YYYY-MM-DD
// HH:MM": every action logged before that minute began), from the log of
// the data folder (the current folder), given the backup folder (for its
// log). False, with the reason in why, when the log cannot take the backup
// there: the backup holds no log, or one that is not this folder's, or was
// taken at or after that moment; the after-images do not reach back to it
// or have a gap; an action on the way put whole tables in place (a restore,
// a demo, an init), which the log does not hold; or a recorded write does
// not fit its table.
bool replay_until(const std::string& backup, const std::string& work, const std::string& until,
                  ReplayReach* reach, std::string* why);

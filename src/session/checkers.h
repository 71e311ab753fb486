// Classifiers of the manager's reply texts ("class detail ..."). Each reads only within the
// NUL-terminated text; a NULL text is "anything else" (255).
#pragma once

constexpr int kQvpReplyOther = 255;

// RPUT: 0 for "0?0"; after "16": 1 when "22", 2 when "162", 3 when "199" stands from the fourth
// character; 4 for '4' with "16" from the third character; else 255.
int qvpAPICheckRputReply(const char* reply);
// JPUT / JSCH: 0 for "0?0"; 2 for "0?2" unless the third and fourth are "20" to "24"; 4, 6, 8
// for "0?4", "0?6", "0?8"; else 255.
int qvpAPICheckJputReply(const char* reply);
// JEXC, JDEL: 0 for "0?0", else 255.
int qvpAPICheckJexcReply(const char* reply);
int qvpAPICheckJdelReply(const char* reply);
// JRTY: 0 for "0?0"; 1 for "0?30"; else 255.
int qvpAPICheckJrtyReply(const char* reply);
// RDEL and the ID requests: 0 for "0?0"; 1 for a reply that begins "4 16"; else 255.
int qvpAPICheckRdelReply(const char* reply);

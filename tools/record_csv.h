// The records as CSV rows: the header of each table's export (the store's
// field names, in the record's order) and its fields. import reads clients
// and movies back in the same form.
#pragma once

#include "store/records.h"
#include "tools/csv.h"

inline constexpr const char* kClientHeader = "id,fname,lname,address,subdate,phone,months,fine";
inline constexpr const char* kMovieHeader = "name,id,copy,diskstatus,rentdays,rented,saved";
inline constexpr const char* kRentHeader = "client,rentdate,movie,copy,rentdays";
inline constexpr const char* kReserveHeader = "client,movie,callnotice,resdate";
inline constexpr const char* kSavedHeader = "client,movie,copy,savedate";

// Appends the row of a record to out, its fields in its table's header
// order: texts as stored, dates YYYY-MM-DD, numbers in decimal; ended by LF.
void append_row(std::string& out, const ClientRec& r);
void append_row(std::string& out, const MovieRec& r);
void append_row(std::string& out, const RentRec& r);
void append_row(std::string& out, const ReserveRec& r);
void append_row(std::string& out, const SavedRec& r);

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

// The fields of a record in its table's header order: texts as stored,
// dates YYYY-MM-DD, numbers in decimal.
Fields fields_of(const ClientRec& r);
Fields fields_of(const MovieRec& r);
Fields fields_of(const RentRec& r);
Fields fields_of(const ReserveRec& r);
Fields fields_of(const SavedRec& r);

// Adding movies and copies to the catalogue and deleting copies (menu entry
// Add/Remove Movie).
#pragma once

// Adds a new movie with its first copy or a further copy of a movie, or
// deletes one copy that is not rented, with its hold and, for the last copy
// of a movie, the movie's reservations.
void movie_maintenance();

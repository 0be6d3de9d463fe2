// The saved-list update: releases holds older than seven days, passing each
// copy to the next reservation of its title or making it available again.
#pragma once

// Examines every hold once in slot order; a hold whose seven days have
// passed is deleted and its copy handed over (with the overdue call notice
// under the screen when asked for) or freed. Prints nothing else.
void update_saved_list();

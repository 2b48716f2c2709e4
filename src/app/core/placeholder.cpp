// Placeholder until the activity log lands.

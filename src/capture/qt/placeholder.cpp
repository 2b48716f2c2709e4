// Placeholder until the bill list view lands.

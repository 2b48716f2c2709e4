// Placeholder until the delivery pass lands.

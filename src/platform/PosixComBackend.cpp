// Serial backend

// frames

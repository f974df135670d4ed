// Compiled into every subsystem so that a subsystem still being filled always has an object.
namespace qxcm {}

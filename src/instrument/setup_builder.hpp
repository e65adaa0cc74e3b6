// What every reader of a collector's file does alike: control stored by
// name, setups opened and closed, the backsight's pointing until a shot reads
// it, shots read again, bearings held to back points without coordinates,
// and the collector's own coordinates set against the radial computation.
#pragma once

#include <optional>
#include <string>
#include <unordered_map>

#include "instrument/raw_job.hpp"

namespace traverse {

// A setup's backsight: the back point, its azimuth where the file gives
// one (gon, from north) and the circle reading on it.
struct Backsight {
  std::string point;
  std::optional<double> azimuth;
  double circle = 0;
  int line = 0;
  bool read = false;  // a face-one pointing has read the back point
};

class SetupBuilder {
 public:
  explicit SetupBuilder(RawJob& job) : job_(job) {}

  // Control (keyed in or stored): a point stored again with other
  // coordinates takes the later ones, with a note.
  void AddControl(NamedPoint point);

  // A new setup on `station` (the one open is closed first).
  void Start(const std::string& station, std::optional<double> hi, int line);
  bool Open() const { return open_.has_value(); }
  bool Shot() const { return open_ && open_->shot; }
  BookSetup& Current() { return job_.book.setups[open_->index]; }
  const std::optional<Backsight>& Back() const { return open_->backsight; }

  // The backsight of the open setup: a pointing at its circle reading until
  // a face-one pointing reads the back point.
  void SetBacksight(Backsight back);

  // Files a pointing of the open setup, `record` naming it for a note. A
  // `single` shot read again replaces the earlier one in a setup read in one
  // face, and after a set in both faces is the collector's check, passed over.
  void Add(SetupReading reading, bool single, const std::string& record, int line);

  // The collector's coordinates of a setup's station or of a point it
  // computed: checked against the last radial computation of the point.
  void CollectorPoint(const std::string& point, const GridPoint& xy, std::optional<double> z,
                      int line);

  void Note(std::string note) { job_.notes.push_back(std::move(note)); }

  // Closes the open setup and holds the back azimuths to points without
  // coordinates; `record` names the field for a fault ("BK, field BS").
  void Finish(const std::string& azimuthField, std::optional<AngleUnit> unit);

 private:
  struct Radiated {
    std::string station;
    int line = 0;
    GridPoint xy;
    std::optional<double> z;
  };
  struct OpenSetup {
    std::size_t index = 0;
    std::optional<Backsight> backsight;
    std::unordered_map<std::string, std::size_t> pointed;  // target -> its reading
    bool faceTwo = false;
    bool shot = false;
  };

  void Close();
  void Radiate(const SetupReading& reading, int line);
  std::optional<double> CollectorOrientation(const GridPoint& station) const;
  const GridPoint* CoordinatesOf(const std::string& point, std::optional<double>* z) const;

  RawJob& job_;
  std::optional<OpenSetup> open_;
  std::vector<std::pair<std::size_t, Backsight>> backs_;  // of the setups kept
  std::unordered_map<std::string, std::size_t> known_;    // control by name
  std::unordered_map<std::string, Radiated> collector_;   // the collector's station coordinates
  std::unordered_map<std::string, Radiated> radiated_;    // last radial computation by target
};

}  // namespace traverse

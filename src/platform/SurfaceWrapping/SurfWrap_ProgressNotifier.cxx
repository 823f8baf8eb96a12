// Scoped progress and keyed messages of the wrapping component.
#include <SurfWrap_ProgressNotifier.hxx>

#include <Standard_Failure.hxx>

#include <algorithm>
#include <fstream>

IMPLEMENT_STANDARD_RTTIEXT(SurfWrap_ProgressNotifier, Standard_Transient)

namespace
{

std::string trimmed(const std::string& text)
{
  const size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos)
  {
    return std::string();
  }
  const size_t last = text.find_last_not_of(" \t\r");
  return text.substr(first, last - first + 1);
}

// English texts of the component's own message keys, used until a resource replaces them.
const std::map<std::string, std::string>& defaultTexts()
{
  static const std::map<std::string, std::string> texts = {
      {"SurfWrap.API.NoMesh", "There is no mesh to wrap."},
      {"SurfWrap.API.Interrupted", "The wrapping was interrupted."},
      {"SurfWrap.Settings.UnknownAlgorithm", "Unknown wrapping algorithm %1."},
      {"SurfWrap.Settings.BadSize", "The wrapping size must be positive and finite."},
      {"SurfWrap.Voxelization.EmptyMesh", "The mesh has no usable triangle."},
      {"SurfWrap.Voxelization.BadSize", "The voxel size must be positive and finite."},
      {"SurfWrap.Voxelization.SizeEnlarged",
       "The voxel size was enlarged to %1 to keep the grid within 2^27 cells."},
      {"SurfWrap.Untangle.Kept",
       "%1 vertices were kept nearer to the voxel surface to avoid self-intersections."}};
  return texts;
}

} // namespace

SurfWrap_ProgressNotifier::SurfWrap_ProgressNotifier(const TCollection_AsciiString& name)
    : m_name(name), m_isErrorAsWarning(false)
{
  m_scopes.push_back(Scope{0.0, 1.0, 1, 0, name});
}

void SurfWrap_ProgressNotifier::Dump(Standard_OStream& stream) const
{
  std::lock_guard<std::mutex> lock(m_mutex);
  stream << "Wrapping progress";
  if (!m_name.IsEmpty())
  {
    stream << " of " << m_name;
  }
  stream << ": " << static_cast<int>(100.0 * positionOf(m_scopes.back())) << "%\n";
  for (const SurfWrap_Message& message : m_messages)
  {
    const char* gravity = message.Gravity == SurfWrap_Info      ? "info"
                          : message.Gravity == SurfWrap_Warning ? "warning"
                                                                : "fail";
    stream << gravity << ": " << message.Text << "\n";
  }
}

void SurfWrap_ProgressNotifier::Clear()
{
  std::lock_guard<std::mutex> lock(m_mutex);
  m_messages.clear();
  m_scopes.resize(1);
  m_scopes.front().value = 0;
}

void SurfWrap_ProgressNotifier::NewMessage(const TCollection_AsciiString& key,
                                           const SurfWrap_Gravity         gravity,
                                           const TCollection_AsciiString& argument)
{
  std::lock_guard<std::mutex> lock(m_mutex);
  std::string                 text  = key.ToCString();
  const auto                  found = m_texts.find(text);
  if (found != m_texts.end())
  {
    text = found->second;
  }
  else if (defaultTexts().count(text) != 0)
  {
    text = defaultTexts().at(text);
  }
  for (size_t at = text.find("%1"); at != std::string::npos; at = text.find("%1", at))
  {
    text.replace(at, 2, argument.ToCString());
    at += argument.Length();
  }
  const SurfWrap_Gravity kept =
      gravity == SurfWrap_Fail && m_isErrorAsWarning ? SurfWrap_Warning : gravity;
  m_messages.push_back(SurfWrap_Message{kept, key, TCollection_AsciiString(text.c_str())});
}

void SurfWrap_ProgressNotifier::NewScope(const int nbSteps, const TCollection_AsciiString& name)
{
  std::lock_guard<std::mutex> lock(m_mutex);
  const Scope&                parent = m_scopes.back();
  const double                step   = parent.span / parent.nbSteps;
  const double start = parent.start + step * std::min(parent.value, parent.nbSteps - 1);
  m_scopes.push_back(Scope{start, step, std::max(1, nbSteps), 0, name});
}

void SurfWrap_ProgressNotifier::NextScope()
{
  int                     nbSteps = 1;
  TCollection_AsciiString name;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_scopes.size() < 2)
    {
      return;
    }
    nbSteps = m_scopes.back().nbSteps;
    name    = m_scopes.back().name;
  }
  EndScope();
  NewScope(nbSteps, name);
}

void SurfWrap_ProgressNotifier::EndScope()
{
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_scopes.size() < 2)
  {
    return;
  }
  m_scopes.pop_back();
  Scope& parent = m_scopes.back();
  parent.value  = std::min(parent.value + 1, parent.nbSteps);
}

void SurfWrap_ProgressNotifier::Increment()
{
  std::lock_guard<std::mutex> lock(m_mutex);
  Scope&                      scope = m_scopes.back();
  scope.value                       = std::min(scope.value + 1, scope.nbSteps);
}

double SurfWrap_ProgressNotifier::GetPosition() const
{
  std::lock_guard<std::mutex> lock(m_mutex);
  return std::min(1.0, std::max(0.0, positionOf(m_scopes.back())));
}

int SurfWrap_ProgressNotifier::GetValue() const
{
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_scopes.back().value;
}

void SurfWrap_ProgressNotifier::TreatErrorAsWarning(const bool isOn)
{
  std::lock_guard<std::mutex> lock(m_mutex);
  m_isErrorAsWarning = isOn;
}

void SurfWrap_ProgressNotifier::loadResource(const TCollection_AsciiString& path)
{
  std::ifstream file(path.ToCString());
  if (!file)
  {
    throw Standard_Failure(
        (TCollection_AsciiString("Cannot read the message resource file ") + path).ToCString());
  }
  std::map<std::string, std::string> texts;
  std::string                        line;
  while (std::getline(file, line))
  {
    const std::string content = trimmed(line);
    if (content.empty() || content[0] == '!')
    {
      continue;
    }
    const size_t equal = content.find('=');
    if (equal == std::string::npos)
    {
      continue;
    }
    texts[trimmed(content.substr(0, equal))] = trimmed(content.substr(equal + 1));
  }
  std::lock_guard<std::mutex> lock(m_mutex);
  for (const auto& entry : texts)
  {
    m_texts[entry.first] = entry.second;
  }
}

std::vector<SurfWrap_Message> SurfWrap_ProgressNotifier::Messages() const
{
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_messages;
}

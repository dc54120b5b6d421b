namespace juce
{

MvPluginInstance::MvPluginInstance (MvParamsManager* paramsManager, const BusesProperties& buses)
    : AudioProcessor (buses)
    , model (paramsManager)
{
    jassert (model != nullptr);

    for (int i = 0; i < model->getNumParams(); ++i)
        addParameter (model->getHostParameter (i));
}

MvPluginInstance::~MvPluginInstance()
{
    model.reset();
}

//==============================================================================
const String MvPluginInstance::getName() const { return MV_PRODUCT_NAME; }
void MvPluginInstance::prepareToPlay (double, int) {}
void MvPluginInstance::releaseResources() {}
void MvPluginInstance::processBlock (AudioBuffer<float>&, MidiBuffer&) {}
double MvPluginInstance::getTailLengthSeconds() const { return 0.0; }
bool MvPluginInstance::acceptsMidi() const { return false; }
bool MvPluginInstance::producesMidi() const { return false; }
bool MvPluginInstance::isMidiEffect() const { return false; }
int MvPluginInstance::getNumPrograms() { return 1; }
int MvPluginInstance::getCurrentProgram() { return 0; }
void MvPluginInstance::setCurrentProgram (int) {}
const String MvPluginInstance::getProgramName (int) { return {}; }
void MvPluginInstance::changeProgramName (int, const String&) {}
void MvPluginInstance::getStateInformation (MemoryBlock&) {}
void MvPluginInstance::getCurrentProgramStateInformation (MemoryBlock&) {}
void MvPluginInstance::setStateInformation (const void*, int) {}
void MvPluginInstance::setCurrentProgramStateInformation (const void*, int) {}

bool MvPluginInstance::isBusesLayoutSupported (const BusesLayout& layouts) const
{
    const auto set = layouts.getMainOutputChannelSet();
    return layouts.getMainInputChannelSet() == set && (set == AudioChannelSet::mono() || set == AudioChannelSet::stereo());
}

} // namespace juce

<#
Runs one Pester test file of the fleet scripts, its results in a JUnit file;
exits 0 when every test passed. CTest runs one per file (tests/CMakeLists.txt).

    pwsh -NoProfile -File Invoke-FleetTests.ps1 <Pester.psd1> <tests file> <JUnit file>
#>
param([string]$Pester, [string]$Tests, [string]$JUnit)
$ErrorActionPreference = 'Stop'
# The scripts under test run in child processes of the pwsh that KOVEX_PWSH
# names (CTest sets it: a .NET tool's own process path is dotnet's).
Import-Module (Resolve-Path -LiteralPath $Pester).Path
$configuration = New-PesterConfiguration
$configuration.Run.Path = $Tests
$configuration.Run.Exit = $true
$configuration.Output.Verbosity = 'Detailed'
$configuration.Output.RenderMode = 'Plaintext'
$configuration.TestResult.Enabled = $true
$configuration.TestResult.OutputFormat = 'JUnitXml'
$configuration.TestResult.OutputPath = $JUnit
Invoke-Pester -Configuration $configuration

# ConfigMgr-Detect.ps1, a Configuration Manager detection method: always
# exit 0 and nothing on standard error (else the client reports a failure);
# one line on standard output exactly when this version's marker is a file.
BeforeDiscovery { . (Join-Path $PSScriptRoot 'FleetTest.ps1') }
BeforeAll { . (Join-Path $PSScriptRoot 'FleetTest.ps1') }

Describe 'ConfigMgr-Detect.ps1 in <Mode>' -ForEach $Modes {
    BeforeAll { $script = New-ReleaseCopy 'ConfigMgr-Detect.ps1' $TestDrive }

    It '<Case>: installed <Installed>' -ForEach @(
        @{ Case = "this version's marker"; Marker = "cleanup-done-$Version.txt"; Installed = $true }
        @{ Case = "an older version's marker"; Marker = 'cleanup-done-9.8.6.txt'; Installed = $false }
        @{ Case = 'a folder named as the marker'; Marker = "cleanup-done-$Version.txt/"; Installed = $false }
        @{ Case = 'no programs folder at all'; Marker = ''; Installed = $false }
        @{ Case = 'no ProgramW6432: ProgramFiles'; Marker = "cleanup-done-$Version.txt"; Installed = $true; Fallback = $true }
    ) {
        $native = Join-Path $TestDrive ([guid]::NewGuid())
        $folder = Join-Path $native 'KovexDeepClean'
        if ($Marker) { $null = New-Item -ItemType Directory -Force -Path $folder }
        if ($Marker.EndsWith('/')) { $null = New-Item -ItemType Directory -Path (Join-Path $folder $Marker.TrimEnd('/')) }
        elseif ($Marker) { Set-Content -LiteralPath (Join-Path $folder $Marker) -Value 'Done.' }
        $environment = $Fallback ? @{ ProgramW6432 = $null; ProgramFiles = $native } : @{ ProgramW6432 = $native; ProgramFiles = $TestDrive }

        $run = Invoke-FleetScript $script $Mode $environment

        $run.ExitCode | Should -Be 0
        $run.Error | Should -BeNullOrEmpty
        if ($Installed) { $run.Lines | Should -Be "Kovex Deep Clean ${Version}: the cleanup ran to its end" }
        else { $run.Output | Should -BeNullOrEmpty }
    }
}
